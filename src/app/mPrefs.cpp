#include "app/mPrefs.h"

#include "app/Platform.h"
#include "app/mFile.h"
#include "compress/TextOps.h"

#include <cctype>
#include <system_error>
#include <vector>

#include <sys/stat.h>

namespace mPrefs {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && txt::MatchAt(a, 0, b);
}

}  // namespace

void InitAppPreferences(Prefs& prefs) {
  // The start values hold whether or not a support folder exists: a run without remembered
  // settings still removes tabs, blanks, empty lines and comments.
  prefs.opts = trimora::Options{};
  prefs.AlwaysOpenLastSite = -1;
  const fs::path support = mFile::AppSupportFolder();
  if (support.empty()) return;
  std::error_code ec;
  if (!fs::exists(support, ec)) ::mkdir(support.c_str(), 0777);  // one level: its parent exists
  if (fs::is_directory(support, ec))
    prefs.AlwaysOpenLastSite = AlwaysOpenFromText(mFile::ReadPrefsFile(kAlwaysOpenFile));
}

int32_t AlwaysOpenFromText(std::string_view text) {
  if (text == "1") return 1;
  if (text == "2") return 2;
  return -1;
}

bool FlagFromText(std::string_view text) { return text == "1"; }

bool IsNewInstallation(std::string_view runningVersion) {
  const std::string stored = mFile::ReadPrefsFile(kVersionFile);
  return stored == mFile::kFailureMarker || !EqualsIgnoreCase(stored, runningVersion);
}

void LoadLineBreakOptions(Prefs& prefs) {
  prefs.opts.TrimLineBreaksHTML = FlagFromText(mFile::ReadPrefsFile(kHtmlLineBreaksFile));
  prefs.opts.TrimLineBreaksCSS = FlagFromText(mFile::ReadPrefsFile(kCssLineBreaksFile));
}

void SetTrimLineBreaksHTML(Prefs& prefs, bool on) {
  prefs.opts.TrimLineBreaksHTML = on;
  mFile::WritePrefsFile(kHtmlLineBreaksFile, on ? "1" : "0");
}

void SetTrimLineBreaksCSS(Prefs& prefs, bool on) {
  prefs.opts.TrimLineBreaksCSS = on;
  mFile::WritePrefsFile(kCssLineBreaksFile, on ? "1" : "0");
}

void SetAlwaysOpenLastSite(Prefs& prefs, int32_t which) {
  prefs.AlwaysOpenLastSite = which;
  if (which == 1 || which == 2) mFile::WritePrefsFile(kAlwaysOpenFile, which == 1 ? "1" : "2");
}

void StoreVersion(std::string_view version) { mFile::WritePrefsFile(kVersionFile, version); }

}  // namespace mPrefs

namespace mFile {
namespace {

// `path` with "." and ".." resolved and links followed as far as the path exists.
fs::path Normal(const fs::path& path) {
  std::error_code ec;
  fs::path abs = fs::absolute(path, ec);
  if (ec) abs = path;
  fs::path canon = fs::weakly_canonical(abs, ec);
  if (ec) canon = abs.lexically_normal();
  // "a/b/" -> "a/b", so that the last component is the folder's own name.
  if (!canon.has_filename() && canon.has_parent_path() && canon != canon.root_path()) canon = canon.parent_path();
  return canon;
}

// Whether `item` is `folder` or lies below it, component by component.
bool IsAtOrBelow(const fs::path& item, const fs::path& folder) {
  if (folder.empty()) return false;
  auto i = item.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++i) {
    if (f->empty()) continue;  // a trailing separator
    if (i == item.end() || *i != *f) return false;
  }
  return true;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!std::isdigit(c)) return false;
  return true;
}

// A path inside a volume trash whose location the platform was not asked about.
bool InVolumeTrash(const fs::path& folder) {
  std::vector<std::string> parts;
  for (const auto& p : folder) parts.push_back(p.string());
  for (size_t i = 0; i < parts.size(); ++i) {
#ifdef __APPLE__
    if (parts[i] == ".Trashes" && i + 1 < parts.size() && AllDigits(parts[i + 1])) return true;
#else
    // freedesktop: $topdir/.Trash-$uid and $topdir/.Trash/$uid
    if (parts[i].rfind(".Trash-", 0) == 0 && AllDigits(parts[i].substr(7))) return true;
    if (parts[i] == ".Trash" && i + 1 < parts.size() && AllDigits(parts[i + 1])) return true;
#endif
  }
  return false;
}

void Say(const Tell& tell, std::string_view message) {
  if (tell) tell(std::string(message));
}

}  // namespace

std::string ReadPrefsFile(std::string_view name) {
  const fs::path support = AppSupportFolder();
  if (support.empty()) return std::string(kFailureMarker);
  const fs::path file = support / std::string(name);
  std::error_code ec;
  if (!fs::exists(file, ec)) return std::string(kFailureMarker);
  return ReadRawTextFile(file);
}

void WritePrefsFile(std::string_view name, std::string_view value) {
  const fs::path support = AppSupportFolder();
  if (support.empty()) return;
  WriteRawTextFile(support / std::string(name), value);
}

fs::path GetBrixelSettingsFolder(const platform::Platform& platform) {
  const fs::path data = FindAppDataFolder(platform);
  std::error_code ec;
  if (data.empty() || !fs::is_directory(data, ec)) return {};
  const fs::path editor = data / "Brixel Editor";
  if (!fs::is_directory(editor, ec)) return {};
  const fs::path settings = editor / "Settings";
  if (!fs::is_directory(settings, ec)) return {};
  return settings;
}

std::optional<fs::path> ResolveFolderReference(std::string_view text) {
  if (text.empty() || text == kFailureMarker) return std::nullopt;
  const fs::path folder{std::string(text)};
  std::error_code ec;
  if (!folder.is_absolute() || !fs::is_directory(folder, ec)) return std::nullopt;
  return folder;
}

std::string FolderReference(const fs::path& folder) { return Normal(folder).string(); }

bool isAlreadyCompressed(const fs::path& folder, const Tell& tell) {
  const std::string name = Normal(folder).filename().string();
  if (!txt::Contains(name, " Compressed")) return false;
  Say(tell, kAlreadyCompressedMessage);
  return true;
}

bool isInTrash(const fs::path& folder, const platform::Platform& platform, const Tell& tell) {
  const fs::path item = Normal(folder);
  std::vector<fs::path> trashes = platform.TrashFolders();
  // The volume's trash: the parent of its "files" folder on Linux, the folder itself elsewhere.
  const fs::path volumeFiles = platform.TrashFolderFor(item);
#ifdef __APPLE__
  trashes.push_back(volumeFiles);
#else
  trashes.push_back(volumeFiles.filename() == "files" ? volumeFiles.parent_path() : volumeFiles);
#endif
  bool in = InVolumeTrash(item);
  for (const auto& t : trashes)
    if (!in && !t.empty()) in = IsAtOrBelow(item, Normal(t));
  if (in) Say(tell, kInTrashMessage);
  return in;
}

}  // namespace mFile
