#include "TestPlatform.h"

#include <QCryptographicHash>
#include <QTimeZone>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "trimora-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them writable before removing.
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code e2;
    if (!it->is_symlink(e2)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, e2);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

TestPlatform::TestPlatform()
    : now(QDate(2012, 3, 7), QTime(9, 5, 41), QTimeZone(3600)) {
  fs::create_directories(HomeFolder());
  fs::create_directories(DesktopFolder());
  fs::create_directories(DocumentsFolder());
  fs::create_directories(ApplicationDataFolder());
  fs::create_directories(PreferencesFolder());
}

int TestPlatform::RunProgram(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> call{program};
  call.insert(call.end(), args.begin(), args.end());
  programs.push_back(std::move(call));
  return programExitStatus;
}

void WriteFile(const fs::path& file, std::string_view bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string TreeDigest(const fs::path& folder) {
  std::vector<fs::path> items;
  for (auto& e : fs::recursive_directory_iterator(folder)) items.push_back(e.path());
  std::sort(items.begin(), items.end());
  QCryptographicHash h(QCryptographicHash::Sha256);
  for (const auto& p : items) {
    const std::string rel = fs::relative(p, folder).string();
    h.addData(QByteArrayView(rel.data(), static_cast<qsizetype>(rel.size() + 1)));
    const auto st = fs::symlink_status(p);
    const std::string mode = std::to_string(static_cast<int>(st.permissions())) + ":" +
                             std::to_string(static_cast<int>(st.type()));
    h.addData(QByteArrayView(mode.data(), static_cast<qsizetype>(mode.size())));
    if (fs::is_regular_file(st)) {
      const std::string body = ReadFile(p);
      h.addData(QByteArrayView(body.data(), static_cast<qsizetype>(body.size())));
    }
  }
  return h.result().toHex().toStdString();
}

}  // namespace testing_support
