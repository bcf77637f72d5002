#include "app/mFile.h"

#include "app/Platform.h"
#include "compress/TextOps.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __APPLE__
#include <sys/attr.h>
#include <sys/xattr.h>
#endif

namespace mFile {
namespace {

constexpr const char* kAppName = "Trimora";

std::mutex gSupportMutex;
fs::path gSupportFolder;  // guarded by gSupportMutex
std::atomic<int32_t> gTmpFileNumber{1};
std::atomic<uint64_t> gTempCounter{0};

bool EndsWithCi(std::string_view name, std::string_view ending) {
  return name.size() >= ending.size() && txt::MatchAt(name, name.size() - ending.size(), ending);
}

std::string FileName(const fs::path& file) { return file.filename().string(); }

bool Exists(const fs::path& file) {
  std::error_code ec;
  return !file.empty() && fs::exists(file, ec);
}

std::string Reason(int err) { return std::strerror(err); }

// Writes all of `bytes` to `fd`; false with errno set on failure.
bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

void Unlock(const fs::path& file) {
#ifdef __APPLE__
  struct stat st {};
  if (::lstat(file.c_str(), &st) == 0 && (st.st_flags & UF_IMMUTABLE))
    (void)::lchflags(file.c_str(), st.st_flags & ~UF_IMMUTABLE);
#else
  (void)file;  // no user-settable lock flag here
#endif
}

void SetTypeAndCreator(int fd) {
#ifdef __APPLE__
  char info[32] = {};
  (void)::fgetxattr(fd, XATTR_FINDERINFO_NAME, info, sizeof info, 0, 0);
  std::memcpy(info, "TEXT", 4);
  std::memcpy(info + 4, "sfri", 4);
  (void)::fsetxattr(fd, XATTR_FINDERINFO_NAME, info, sizeof info, 0, 0);
#else
  (void)fd;  // the file system keeps no type and creator codes
#endif
}

FileDates DatesOf(const struct stat& st) {
  FileDates d;
  d.valid = true;
#ifdef __APPLE__
  d.accessed = st.st_atimespec;
  d.modified = st.st_mtimespec;
  d.created = st.st_birthtimespec;
  d.hasCreated = true;
#else
  d.accessed = st.st_atim;
  d.modified = st.st_mtim;
#endif
  return d;
}

}  // namespace

// ---- Support folder and "Tmp" ---------------------------------------------------------------

fs::path FindAppDataFolder(const platform::Platform& platform) {
  const std::string home = platform.HomeFolder().string();
  for (int attempt = 0; attempt < 50; ++attempt) {
    const fs::path data = platform.ApplicationDataFolder();
    if (txt::Contains(data.string(), home)) return data;
    std::this_thread::yield();
  }
  return {};
}

void InitAppSupportFolder(const platform::Platform& platform) {
  const fs::path data = FindAppDataFolder(platform);
  std::error_code ec;
#ifndef __APPLE__
  // A fresh Linux account may not have its data folder (~/.local/share) yet; the desktop's own
  // rule is to create it when first needed, so preferences can be kept from the first start.
  if (!data.empty() && !fs::exists(data, ec)) fs::create_directories(data, ec);
#endif
  SetAppSupportFolder(!data.empty() && fs::exists(data, ec) ? data / kAppName : fs::path());
}

void SetAppSupportFolder(const fs::path& folder) {
  std::lock_guard lock(gSupportMutex);
  gSupportFolder = folder;
}

fs::path AppSupportFolder() {
  std::lock_guard lock(gSupportMutex);
  return gSupportFolder;
}

fs::path TmpFolder() {
  const fs::path support = AppSupportFolder();
  return support.empty() ? fs::path() : support / "Tmp";
}

int32_t TmpFileNumber() { return gTmpFileNumber.load(); }
void SetTmpFileNumber(int32_t n) { gTmpFileNumber.store(n); }

void CleanUpTMP() {
  const fs::path support = AppSupportFolder();
  std::error_code ec;
  if (support.empty() || !fs::exists(support, ec)) return;
  const fs::path tmp = support / "Tmp";
  // Opened without following a link: "Tmp" must be the folder itself.
  const int dirFd = ::open(tmp.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dirFd < 0) return;
  DIR* dir = ::fdopendir(dirFd);
  if (!dir) {
    ::close(dirFd);
    return;
  }
  // Collect first, then delete, so the listing never shifts under the loop. Entries are removed
  // relative to the open folder (no path lookups); a link is removed as the link itself, and a
  // folder, which a backup never is, with everything in it.
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  for (const auto& name : names) {
    if (::unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT) continue;
    std::error_code e;
    fs::remove_all(tmp / name, e);
  }
  ::closedir(dir);
}

namespace {

// Moves `file` to `backup` unless `backup` exists; 0 or an errno value (EEXIST: it exists).
int MoveNoReplace(const fs::path& file, const fs::path& backup) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
  if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#elif defined(__APPLE__) && defined(RENAME_EXCL)
  if (::renamex_np(file.c_str(), backup.c_str(), RENAME_EXCL) == 0) return 0;
  if (errno != ENOTSUP && errno != EINVAL) return errno;
#endif
  // No exclusive rename on this file system: a second name, then the first one removed.
  if (::link(file.c_str(), backup.c_str()) != 0) return errno;
  if (::unlink(file.c_str()) != 0) {
    const int err = errno;
    ::unlink(backup.c_str());
    return err;
  }
  return 0;
}

enum class Aside { None, Moved, Linked, Copied };

// Keeps the previous version of `file` in "Tmp" under the next free number ("7.txt"). With
// `move` the file leaves its place for "Tmp" (Moved); otherwise, and across volumes, it stays
// where it is and "Tmp" gets a second name of it (Linked) or a copy (Copied). "Tmp" is made
// when a backup finds it missing, so a run makes it once rather than asking before every file.
Aside BackUpToTmp(const fs::path& file, bool move, fs::path& backup) {
  const fs::path tmp = TmpFolder();
  if (tmp.empty()) return Aside::None;
  bool madeTmp = false;
  for (int tries = 0; tries < 100000; ++tries) {
    // Every backup takes the next number whose name is free.
    const int32_t n = gTmpFileNumber.fetch_add(1);
    backup = tmp / (std::to_string(n) + ".txt");
    const int err = move ? MoveNoReplace(file, backup) : (::link(file.c_str(), backup.c_str()) == 0 ? 0 : errno);
    if (err == 0) return move ? Aside::Moved : Aside::Linked;
    if (err == EEXIST) continue;
    if (err == ENOENT && !madeTmp) {
      // Either "Tmp" or the file is missing. The number was not used: give it back.
      int32_t next = n + 1;
      gTmpFileNumber.compare_exchange_strong(next, n);
      struct stat st {};
      if (::lstat(file.c_str(), &st) != 0) return Aside::None;
      madeTmp = true;
      (void)::mkdir(tmp.c_str(), 0777);
      if (::stat(tmp.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Aside::None;
      continue;
    }
    // Another volume, or a file system without hard links: copy.
    std::error_code e;
    fs::copy_file(file, backup, fs::copy_options::none, e);
    return e ? Aside::None : Aside::Copied;
  }
  return Aside::None;
}

}  // namespace

void MoveFileToTMP(const fs::path& file) {
  fs::path backup;
  (void)BackUpToTmp(file, false, backup);
}

// ---- Raw text files -------------------------------------------------------------------------

std::optional<std::string> ReadFileBytes(const fs::path& file) { return ReadFileBytes(file, nullptr, nullptr); }

std::optional<std::string> ReadFileBytes(const fs::path& file, FileDates* dates, int* mode) {
  if (file.empty()) return std::nullopt;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  if (dates) *dates = DatesOf(st);
  if (mode) *mode = static_cast<int>(st.st_mode & 07777);
  // Read the size the file has now; a file that grows meanwhile is read on to its end.
  std::string bytes(st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0, '\0');
  size_t size = 0;
  for (;;) {
    char spill[4096];
    const bool inBuffer = size < bytes.size();
    char* into = inBuffer ? bytes.data() + size : spill;
    const size_t room = inBuffer ? bytes.size() - size : sizeof spill;
    const ssize_t n = ::read(fd, into, room);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    if (inBuffer) {
      size += static_cast<size_t>(n);
    } else {
      bytes.append(spill, static_cast<size_t>(n));
      size = bytes.size();
    }
  }
  ::close(fd);
  bytes.resize(size);
  return bytes;
}

std::string ReadRawTextFile(const fs::path& file) {
  if (file.empty()) return {};
  std::error_code ec;
  const auto status = fs::status(file, ec);
  if (!fs::exists(status)) return std::string(kFailureMarker);
  if (fs::is_directory(status)) return {};
  auto bytes = ReadFileBytes(file);
  return bytes ? std::move(*bytes) : std::string(kFailureMarker);
}

namespace {
pid_t ProcessId() {
  static const pid_t pid = ::getpid();
  return pid;
}
}  // namespace

StagedWrite::StagedWrite(StagedWrite&& other) noexcept
    : file_(std::move(other.file_)), temp_(std::move(other.temp_)), existed_(other.existed_),
      result_(std::move(other.result_)) {
  other.temp_.clear();
}

StagedWrite& StagedWrite::operator=(StagedWrite&& other) noexcept {
  if (this != &other) {
    Discard();
    file_ = std::move(other.file_);
    temp_ = std::move(other.temp_);
    existed_ = other.existed_;
    result_ = std::move(other.result_);
    other.temp_.clear();
  }
  return *this;
}

void StagedWrite::Discard() {
  if (temp_.empty()) return;
  ::unlink(temp_.c_str());
  temp_.clear();
}

StagedWrite StagedWrite::Stage(const fs::path& file, std::string_view bytes, int mode, const FileDates* dates) {
  StagedWrite w;
  w.file_ = file;
  auto refuse = [&](std::string why) {
    w.result_ = {false, std::move(why)};
    return std::move(w);
  };
  if (file.empty()) return refuse("no file");
  if (mode < 0) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return refuse("is a folder");
      mode = static_cast<int>(st.st_mode & 07777);
    }
  }
  w.existed_ = mode >= 0;

  // The new content goes into a fresh file beside the target first.
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  fs::path temp;
  int fd = -1;
  for (int tries = 0; tries < 100 && fd < 0; ++tries) {
    temp = folder / ("." + FileName(file) + ".trimora-" + std::to_string(ProcessId()) + "-" +
                     std::to_string(gTempCounter.fetch_add(1)));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, w.existed_ ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return refuse(Reason(errno));
  auto fail = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    return refuse(Reason(err));
  };
  if (w.existed_ && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) return fail(errno);
  if (!WriteAll(fd, bytes)) return fail(errno);
  SetTypeAndCreator(fd);
  if (dates && dates->valid) {
    // The rename that puts the file in place keeps these.
    const timespec times[2] = {dates->accessed, dates->modified};
    (void)::futimens(fd, times);
  }
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail(errno);
#ifdef __APPLE__
  if (dates) SetFileDates(temp, *dates);  // the creation date is set by path
#endif
  w.temp_ = std::move(temp);
  w.result_ = {true, {}};
  return w;
}

WriteResult StagedWrite::Commit() {
  if (!result_) return result_;
  if (temp_.empty()) return {false, "already written"};
  // Complete: keep the previous version in "Tmp", then put the new file in its place. The
  // previous version moves into "Tmp" rather than being renamed over: renaming over an
  // existing file makes some file systems (ext4) flush the new file at once, which costs more
  // than all the rest of a rewrite.
  Aside aside = Aside::None;
  fs::path backup;
  if (existed_) {
    Unlock(file_);
    aside = BackUpToTmp(file_, true, backup);
  }
  if (::rename(temp_.c_str(), file_.c_str()) != 0) {
    const int err = errno;
    // The previous version goes back to its place and stays in "Tmp" as well.
    if (aside == Aside::Moved) (void)::link(backup.c_str(), file_.c_str());
    Discard();
    return {false, Reason(err)};
  }
  temp_.clear();
  return {true, {}};
}

WriteResult WriteFileBytes(const fs::path& file, std::string_view bytes) {
  StagedWrite w = StagedWrite::Stage(file, bytes);
  return w.staged() ? w.Commit() : w.staged();
}

void WriteRawTextFile(const fs::path& file, std::string_view text) { (void)WriteFileBytes(file, text); }

FileDates GetFileDates(const fs::path& file) {
  FileDates d;
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return d;
  return DatesOf(st);
}

void SetFileDates(const fs::path& file, const FileDates& dates) {
  if (!dates.valid) return;
  const timespec times[2] = {dates.accessed, dates.modified};
  (void)::utimensat(AT_FDCWD, file.c_str(), times, 0);
#ifdef __APPLE__
  if (dates.hasCreated) {
    struct attrlist attrs {};
    attrs.bitmapcount = ATTR_BIT_MAP_COUNT;
    attrs.commonattr = ATTR_CMN_CRTIME;
    timespec created = dates.created;
    (void)::setattrlist(file.c_str(), &attrs, &created, sizeof created, 0);
  }
#endif
}

// ---- File kinds -----------------------------------------------------------------------------

namespace {
constexpr std::string_view kHtmlEndings[] = {".htm", ".html", ".xhtml", ".xml", ".shtml", ".rss",
                                             ".opf", ".ncx", ".thtml", ".tpl", ".zhtml"};
}  // namespace

bool isHTML(const fs::path& file) {
  const std::string name = FileName(file);
  if (name.empty() || name[0] == '_') return false;
  for (const auto e : kHtmlEndings)
    if (EndsWithCi(name, e)) return true;
  return false;
}

bool isSCRIPT(const fs::path& file) { return EndsWithCi(FileName(file), ".js"); }

bool isCSS(const fs::path& file) {
  const std::string name = FileName(file);
  return (EndsWithCi(name, ".css") || EndsWithCi(name, ".csstpl")) && Exists(file);
}

bool isPHPName(std::string_view name) {
  for (const std::string_view e : {".php", ".php3", ".php4", ".php5", ".phtml"})
    if (EndsWithCi(name, e)) return true;
  return false;
}

bool isPHP(const fs::path& file, const platform::Platform& platform) {
  return Exists(file) && isPHPName(platform.DisplayName(file));
}

trimora::FileKind KindOfName(std::string_view name) {
  if (name.empty()) return trimora::FileKind::Other;
  if (name[0] != '_')
    for (const auto e : kHtmlEndings)
      if (EndsWithCi(name, e)) return trimora::FileKind::Html;
  if (EndsWithCi(name, ".css") || EndsWithCi(name, ".csstpl")) return trimora::FileKind::Css;
  if (EndsWithCi(name, ".js")) return trimora::FileKind::Script;
  return trimora::FileKind::Other;
}

void SetTextTypeAndCreator(int fd) { SetTypeAndCreator(fd); }

trimora::FileKind KindOf(const fs::path& file) {
  if (isHTML(file)) return trimora::FileKind::Html;
  if (isCSS(file)) return trimora::FileKind::Css;
  if (isSCRIPT(file)) return trimora::FileKind::Script;
  return trimora::FileKind::Other;
}

// ---- Site-relative paths --------------------------------------------------------------------

namespace {
// An absolute path whose parts are its text between single slashes: no "." or ".." part, no
// doubled or trailing slash.
bool IsPlainAbsolute(std::string_view p) {
  if (p.empty() || p[0] != '/') return false;
  if (p.size() == 1) return true;
  if (p.back() == '/') return false;
  if (p.find("//") != std::string_view::npos || p.find("/./") != std::string_view::npos ||
      p.find("/../") != std::string_view::npos)
    return false;
  const auto endsWith = [&](std::string_view e) { return p.size() >= e.size() && p.substr(p.size() - e.size()) == e; };
  return !endsWith("/.") && !endsWith("/..");
}
}  // namespace

std::string GetExtraServerPathStr(const fs::path& root, const fs::path& item) {
  if (root.empty() || item.empty()) return {};
  // The common case, a file found below the copy's folder, without taking the paths apart.
  {
    const std::string_view r = root.native(), i = item.native();
    if (r.size() > 1 && i.size() > r.size() + 1 && i.compare(0, r.size(), r) == 0 && i[r.size()] == '/' &&
        IsPlainAbsolute(i))
      return std::string("\xE2\x88\xBC/").append(i.substr(r.size() + 1));
  }
  std::error_code ec;
  auto parts = [&](const fs::path& p) {
    std::vector<std::string> out;
    for (const auto& c : fs::absolute(p, ec).lexically_normal())
      if (!c.empty()) out.push_back(c.string());
    return out;
  };
  const auto r = parts(root);
  const auto i = parts(item);
  if (i.size() < r.size() || !std::equal(r.begin(), r.end(), i.begin())) return {};
  std::string out = "\xE2\x88\xBC/";  // U+223C TILDE OPERATOR and a slash
  for (size_t k = r.size(); k < i.size(); ++k) {
    if (k > r.size()) out += '/';
    out += i[k];
  }
  return out;
}

}  // namespace mFile
