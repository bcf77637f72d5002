#include "tools/TodaysFiles.h"

#include "app/Platform.h"
#include "app/mFile.h"
#include "compress/TextOps.h"

#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>

namespace TodaysFiles {
namespace {

void Search(const fs::path& folder, const QDate& today, const QDateTime& now,
            const platform::Platform& platform, std::vector<fs::path>& found) {
  std::error_code ec;
  std::vector<fs::path> items;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    items.push_back(it->path());
  std::sort(items.begin(), items.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });

  for (const fs::path& item : items) {
    const std::string name = platform.DisplayName(item);
    const bool underscore = !name.empty() && name.front() == '_';
    const fs::file_status own = fs::symlink_status(item, ec);
    if (ec) continue;
    if (fs::is_directory(own)) {
      if (!underscore) Search(item, today, now, platform, found);
      continue;
    }
    if (fs::is_symlink(own) && fs::is_directory(item, ec)) continue;  // never follow linked folders
    if (!fs::is_regular_file(item, ec)) continue;
    if (underscore || platform.IsHidden(item) || txt::Contains(name, " copy")) continue;
    if (ModificationDate(item, now) == today) found.push_back(item);
  }
}

}  // namespace

QDate ModificationDate(const fs::path& file, const QDateTime& now) {
  const QFileInfo info(QString::fromStdString(file.string()));
  const QDateTime modified = info.lastModified();
  if (!modified.isValid()) return {};
  return modified.toTimeZone(now.timeZone()).date();
}

std::vector<fs::path> FindTodaysFiles(const fs::path& folder, const platform::Platform& platform) {
  std::vector<fs::path> found;
  const QDateTime now = platform.Now();
  Search(folder, now.date(), now, platform, found);
  return found;
}

std::vector<Row> TodaysFileRows(const fs::path& copy, const platform::Platform& platform) {
  std::vector<Row> rows;
  std::error_code ec;
  if (copy.empty() || !fs::is_directory(copy, ec)) return rows;
  for (const fs::path& file : FindTodaysFiles(copy, platform))
    if (fs::exists(file, ec)) rows.push_back({mFile::GetExtraServerPathStr(copy, file), file});
  return rows;
}

}  // namespace TodaysFiles
