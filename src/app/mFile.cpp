#include "app/mFile.h"

#include "app/Platform.h"
#include "compress/TextOps.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
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
  if (!fs::is_directory(fs::symlink_status(tmp, ec))) return;
  // Collect first, then delete, so the listing never shifts under the loop. remove_all takes a
  // link as the link itself.
  std::vector<fs::path> items;
  for (auto it = fs::directory_iterator(tmp, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    items.push_back(it->path());
  for (const auto& item : items) {
    std::error_code e;
    fs::remove_all(item, e);
  }
}

namespace {

// Keeps the previous version of `file` in "Tmp" under the next free number. Returns the backup
// when it is a hard link to the file (the same bytes under a second name), empty otherwise.
fs::path BackUpToTmp(const fs::path& file) {
  const fs::path tmp = TmpFolder();
  if (tmp.empty() || !Exists(file)) return {};
  std::error_code ec;
  fs::create_directory(tmp, ec);
  if (!fs::is_directory(tmp, ec)) return {};
  // Every backup takes the next number whose name is free.
  for (int tries = 0; tries < 100000; ++tries) {
    const int32_t n = gTmpFileNumber.fetch_add(1);
    const fs::path backup = tmp / (std::to_string(n) + ".txt");
    if (fs::exists(fs::symlink_status(backup, ec))) continue;
    if (::link(file.c_str(), backup.c_str()) == 0) return backup;
    if (errno == EEXIST) continue;
    // Another volume, or a file system without hard links: copy.
    std::error_code e;
    fs::copy_file(file, backup, fs::copy_options::none, e);
    return {};
  }
  return {};
}

}  // namespace

void MoveFileToTMP(const fs::path& file) { (void)BackUpToTmp(file); }

// ---- Raw text files -------------------------------------------------------------------------

std::optional<std::string> ReadFileBytes(const fs::path& file) {
  if (file.empty()) return std::nullopt;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
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

WriteResult WriteFileBytes(const fs::path& file, std::string_view bytes) {
  if (file.empty()) return {false, "no file"};
  struct stat st {};
  const bool existed = ::stat(file.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) return {false, "is a folder"};

  // The new content goes into a fresh file beside the target first.
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  fs::path temp;
  int fd = -1;
  for (int tries = 0; tries < 100 && fd < 0; ++tries) {
    temp = folder / ("." + FileName(file) + ".trimora-" + std::to_string(ProcessId()) + "-" +
                     std::to_string(gTempCounter.fetch_add(1)));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, existed ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return {false, Reason(errno)};
  auto fail = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    return WriteResult{false, Reason(err)};
  };
  if (existed && ::fchmod(fd, st.st_mode & 07777) != 0) return fail(errno);
  if (!WriteAll(fd, bytes)) return fail(errno);
  SetTypeAndCreator(fd);
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail(errno);

  // Complete: keep the previous version in "Tmp", then put the new file in its place.
  fs::path linked;
  if (existed) {
    Unlock(file);
    linked = BackUpToTmp(file);
  }
  // With the previous version safe under its second name in "Tmp", the old name is removed
  // first: renaming over an existing file makes some file systems (ext4) flush the new file at
  // once, which costs more than all the rest of a rewrite. Should the rename fail, the backup
  // goes back to its place.
  const bool unlinked = !linked.empty() && ::unlink(file.c_str()) == 0;
  if (::rename(temp.c_str(), file.c_str()) != 0) {
    const int err = errno;
    if (unlinked) (void)::link(linked.c_str(), file.c_str());
    return fail(err);
  }
  return {true, {}};
}

void WriteRawTextFile(const fs::path& file, std::string_view text) { (void)WriteFileBytes(file, text); }

FileDates GetFileDates(const fs::path& file) {
  FileDates d;
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return d;
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

bool isHTML(const fs::path& file) {
  static constexpr std::string_view kEndings[] = {".htm", ".html", ".xhtml", ".xml", ".shtml", ".rss",
                                                   ".opf", ".ncx", ".thtml", ".tpl", ".zhtml"};
  const std::string name = FileName(file);
  if (name.empty() || name[0] == '_') return false;
  for (const auto e : kEndings)
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

trimora::FileKind KindOf(const fs::path& file) {
  if (isHTML(file)) return trimora::FileKind::Html;
  if (isCSS(file)) return trimora::FileKind::Css;
  if (isSCRIPT(file)) return trimora::FileKind::Script;
  return trimora::FileKind::Other;
}

// ---- Site-relative paths --------------------------------------------------------------------

std::string GetExtraServerPathStr(const fs::path& root, const fs::path& item) {
  if (root.empty() || item.empty()) return {};
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
