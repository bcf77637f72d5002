#include "app/Platform.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

fs::path FromQ(const QString& s) { return fs::path(s.toStdString()); }

fs::path StandardOr(QStandardPaths::StandardLocation loc, const fs::path& fallback) {
  const QString p = QStandardPaths::writableLocation(loc);
  return p.isEmpty() ? fallback : FromQ(p);
}

}  // namespace

fs::path Platform::HomeFolder() const {
  const char* home = std::getenv("HOME");
  return home ? fs::path(home) : FromQ(QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
}

fs::path Platform::ApplicationDataFolder() const {
#ifdef __APPLE__
  return HomeFolder() / "Library" / "Application Support";
#else
  return StandardOr(QStandardPaths::GenericDataLocation, HomeFolder() / ".local" / "share");
#endif
}

fs::path Platform::DesktopFolder() const {
  return StandardOr(QStandardPaths::DesktopLocation, HomeFolder() / "Desktop");
}

fs::path Platform::DocumentsFolder() const {
  return StandardOr(QStandardPaths::DocumentsLocation, HomeFolder() / "Documents");
}

fs::path Platform::PreferencesFolder() const {
#ifdef __APPLE__
  return HomeFolder() / "Library" / "Preferences";
#else
  return StandardOr(QStandardPaths::GenericConfigLocation, HomeFolder() / ".config");
#endif
}

fs::path Platform::TrashFolderFor(const fs::path& forItem) const {
#ifdef __APPLE__
  (void)forItem;
  return HomeFolder() / ".Trash";
#else
  // Items on the home volume go to the user's trash; others to the volume's own
  // ".Trash-UID/files" at the top of their mount point.
  struct stat home {}, item {};
  const fs::path userTrash = ApplicationDataFolder() / "Trash" / "files";
  if (::stat(HomeFolder().c_str(), &home) != 0) return userTrash;
  fs::path probe = forItem;
  while (!probe.empty() && ::stat(probe.c_str(), &item) != 0) probe = probe.parent_path();
  if (probe.empty() || item.st_dev == home.st_dev) return userTrash;
  fs::path top = probe;
  for (fs::path up = top.parent_path(); up != top; up = top.parent_path()) {
    struct stat st {};
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != item.st_dev) break;
    top = up;
  }
  return top / (".Trash-" + std::to_string(::getuid())) / "files";
#endif
}

std::vector<fs::path> Platform::TrashFolders() const {
#ifdef __APPLE__
  return {HomeFolder() / ".Trash"};
#else
  return {ApplicationDataFolder() / "Trash"};
#endif
}

fs::path Platform::ResourcesFolder() const {
  // Inside a bundle: Contents/MacOS/trimora -> Contents/Resources. In a build tree the
  // resources stay in the source folder.
  if (QCoreApplication::instance()) {
    const fs::path exe = FromQ(QCoreApplication::applicationDirPath());
    const fs::path bundled = exe.parent_path() / "Resources";
    std::error_code ec;
    if (fs::is_directory(bundled, ec)) return bundled;
  }
  return fs::path(TRIMORA_RESOURCES_DIR);
}

QDateTime Platform::Now() const { return QDateTime::currentDateTime(); }

bool Platform::IsHidden(const fs::path& item) const {
  const std::string name = item.filename().string();
  return !name.empty() && name[0] == '.';
}

std::string Platform::DisplayName(const fs::path& item) const { return item.filename().string(); }

int Platform::RunProgram(const std::string& program, const std::vector<std::string>& args) {
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  QProcess p;
  p.start(QString::fromStdString(program), list);
  if (!p.waitForStarted()) return -1;
  p.waitForFinished(-1);
  if (p.exitStatus() != QProcess::NormalExit) return -1;
  return p.exitCode();
}

Platform& System() {
  static Platform instance;
  return instance;
}

}  // namespace platform
