#include "compress/SiteCopy.h"

#include "app/Platform.h"
#include "app/mError.h"
#include "app/mFile.h"
#include "compress/TextOps.h"

#include <QByteArray>
#include <QUrl>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sendfile.h>
#endif

namespace trimora {
namespace {

std::string Reason(int err) { return std::generic_category().message(err); }

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

struct DirId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const DirId&) const = default;
};

DirId IdOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

struct Entry {
  std::string name;
  unsigned char type;  // d_type
};

// The names of a folder, sorted by byte, which for UTF-8 names is Unicode code point order.
bool ListFolder(int dirFd, std::vector<Entry>& out, int& err) {
  out.clear();
#ifdef __linux__
  // Straight from the kernel into a buffer: no second descriptor and stream to set up.
  if (::lseek(dirFd, 0, SEEK_SET) != 0) {
    err = errno;
    return false;
  }
  alignas(struct dirent64) char buf[32768];
  err = 0;
  for (;;) {
    const ssize_t n = ::getdents64(dirFd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const struct dirent64*>(buf + at);
      at += e->d_reclen;
      const char* name = e->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      out.push_back({name, e->d_type});
    }
  }
#else
  const int dup = ::dup(dirFd);
  if (dup < 0) {
    err = errno;
    return false;
  }
  DIR* dir = ::fdopendir(dup);
  if (!dir) {
    err = errno;
    ::close(dup);
    return false;
  }
  ::rewinddir(dir);
  errno = 0;
  while (struct dirent* e = ::readdir(dir)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    out.push_back({n, e->d_type});
  }
  err = errno;
  ::closedir(dir);
#endif
  // What was read before a failure is still copied.
  std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return err == 0;
}

// Copies `in` to `out`: `size` bytes (the size the file had when opened) in the kernel where it
// can, else through a buffer up to the end of the file. A file that shrinks meanwhile ends early.
bool CopyBytes(int in, int out, uint64_t size, uint64_t& copied, int& err) {
#ifdef __linux__
  // An empty file may still have content (some file systems report no size): read it instead.
  while (size > 0 && copied < size) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(size - copied), 0);
    if (n > 0) {
      copied += static_cast<uint64_t>(n);
      continue;
    }
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EPERM) break;
    err = errno;
    return false;
  }
  if (size > 0 && copied >= size) return true;
#else
  (void)size;
#endif
  for (;;) {
    char buf[1 << 16];
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        err = errno;
        return false;
      }
      done += w;
    }
    copied += static_cast<uint64_t>(n);
  }
}

// A folder being copied. The copy's folder gets the source's permissions and dates only when
// the last user lets go of it, that is after every file inside has been written (each new
// entry would change its date again).
struct OpenFolder {
  Fd src;
  Fd dst;
  struct stat st {};
  bool keepDates = true;
  fs::path dstPath;    // the folder in the copy
  bool listed = true;  // the collection looks into it (no folder on the way begins with "_")
  ~OpenFolder() {
    if (!dst.ok() || !keepDates) return;
    // The owner must stay able to rewrite the copy.
    (void)::fchmod(dst.get(), (st.st_mode & 0777) | 0700);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::futimens(dst.get(), times);
  }
};
using FolderRef = std::shared_ptr<OpenFolder>;

// What the collection will make of a copied file, judged on its name alone: the kind the run
// rewrites it as, or Other. The run checks the judgement again before it takes the outcome over.
FileKind AheadKind(const std::string& name) {
  if (name.empty() || name[0] == '_' || name[0] == '.' || txt::Contains(name, " copy")) return FileKind::Other;
  return mFile::KindOfName(name);
}

bool WriteAll(int fd, std::string_view bytes, int& err) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The whole of an open file, read from its start: `size` bytes expected, read on to the end.
bool ReadAll(int fd, uint64_t size, std::string& out, int& err) {
  // One byte more than expected, so that the end shows without the text having to grow.
  out.resize(static_cast<size_t>(size) + 1);
  size_t got = 0;
  for (;;) {
    if (got == out.size()) out.resize(out.size() + 4096);
    const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  out.resize(got);
  return true;
}

// Both files back to their start and the new one emptied, for a plain copy after all.
bool Rewind(int in, int out, int& err) {
  if (::lseek(in, 0, SEEK_SET) != 0 || ::ftruncate(out, 0) != 0 || ::lseek(out, 0, SEEK_SET) != 0) {
    err = errno;
    return false;
  }
  return true;
}

class Copier {
 public:
  Copier(const SiteCopyRequest& request, SiteCopyResult& result, const platform::Platform& platform, DirId copyRoot,
         const OptimizeEnv* env)
      : request_(request), result_(result), platform_(platform), copyRoot_(copyRoot), env_(env) {
    unsigned threads = request.threads > 0 ? static_cast<unsigned>(request.threads)
                                           : std::min(4u, std::max(1u, std::thread::hardware_concurrency()));
    // One thread walks and makes folders; with more, files are copied beside it.
    if (threads > 1)
      for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  }

  ~Copier() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (auto& w : workers_) w.join();
  }

  // The site's top-level items, with the name filters and the cancel check between items.
  void CopyTop(FolderRef site, const fs::path& sitePath, FolderRef copy) {
    std::vector<Entry> entries;
    int err = 0;
    if (!ListFolder(site->src.get(), entries, err)) Fail(Next(), sitePath, Reason(err));
    stack_.push_back(IdOf(site->st));
    for (const Entry& e : entries) {
      if (request_.cancel && request_.cancel->load()) {
        result_.cancelled = true;
        break;
      }
      if (IsFilteredName(e.name)) continue;
      CopyEntry(site, sitePath, e, copy);
    }
    stack_.pop_back();
  }

  // Waits for the files still being copied and hands over counts and failures in walk order.
  void Finish() {
    {
      std::unique_lock lock(mutex_);
      finishing_ = true;
      done_.wait(lock, [&] { return queue_.empty() && busy_ == 0; });
    }
    std::sort(failures_.begin(), failures_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& f : failures_) result_.failures.push_back(std::move(f.second));
    failures_.clear();
    result_.files = files_.load();
    result_.bytes = bytes_.load();
    result_.ahead.files = std::move(ahead_);
    ahead_.clear();
  }

  // After a cancel: the files rewritten so far get their sources' bytes back, so that the
  // partial copy holds what a plain copy would. One that cannot be copied again is taken out
  // of the copy and reported like any file that could not be copied.
  void PutBackRewritten() {
    for (auto& [dst, a] : result_.ahead.files) {
      const fs::path file(dst);
      // The copy's file has the name of the site's item it came from.
      Fd from(::open(a.source.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      Fd to(::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!from.ok() || !to.ok()) {
        Fail(Next(), a.source, Reason(errno));
        continue;
      }
      ::unlinkat(to.get(), file.filename().c_str(), 0);
      CopyFile(from.get(), a.source, file.filename(), to.get(), Next(), nullptr, {});
      // The folder keeps the dates the copy gave it (those of its source), except the copy itself.
      struct stat st {};
      if (file.parent_path() != result_.copy && ::fstat(from.get(), &st) == 0) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        (void)::futimens(to.get(), times);
      }
    }
    result_.ahead.files.clear();
    std::sort(failures_.begin(), failures_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& f : failures_) result_.failures.push_back(std::move(f.second));
    failures_.clear();
  }

 private:
  // A file to rewrite while it is copied.
  struct Rewrite {
    FileKind kind = FileKind::Other;
    bool php = false;
  };

  struct FileJob {
    FolderRef from, to;
    std::string name;
    fs::path src;
    uint64_t seq;
    std::optional<Rewrite> rewrite;
    fs::path dst;  // with a rewrite: the file in the copy
  };

  uint64_t Next() { return seq_++; }

  void Fail(uint64_t seq, const fs::path& item, std::string reason) {
    std::lock_guard lock(failMutex_);
    failures_.push_back({seq, CopyFailure{item, std::move(reason)}});
  }

  void Report(std::string text = {}) {
    if (!request_.progress) return;
    if (!text.empty()) progress_.text = std::move(text);
    progress_.files = files_.load();
    progress_.bytes = bytes_.load();
    request_.progress(progress_);
  }

  void CopyEntry(const FolderRef& from, const fs::path& srcDir, const Entry& e, const FolderRef& to) {
    const uint64_t seq = Next();
    const fs::path src = srcDir / e.name;
    unsigned char type = e.type;
    if (type != DT_DIR && type != DT_REG) {
      // A link is followed to what it stands for; other kinds need a look at the item.
      struct stat st {};
      if (::fstatat(from->src.get(), e.name.c_str(), &st, 0) != 0) {
        const int err = errno;
        struct stat lst {};
        const bool link =
            ::fstatat(from->src.get(), e.name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
        Fail(seq, src,
             link && (err == ENOENT || err == ENOTDIR) ? "broken link" : link && err == ELOOP ? "link loop" : Reason(err));
        return;
      }
      if (S_ISDIR(st.st_mode)) type = DT_DIR;
      else if (S_ISREG(st.st_mode)) type = DT_REG;
      else {
        Fail(seq, src, "not a file or folder");
        return;
      }
    }
    if (type == DT_DIR) {
      CopyFolder(from, src, e.name, to, seq);
      return;
    }
    std::optional<Rewrite> rewrite;
    fs::path dst;
    if (env_ && to->listed) {
      const FileKind kind = AheadKind(e.name);
      if (kind != FileKind::Other) {
        rewrite = Rewrite{kind, kind == FileKind::Html && mFile::isPHPName(e.name)};
        dst = to->dstPath / e.name;
      }
    }
    if (workers_.empty()) {
      CopyFile(from->src.get(), src, e.name, to->dst.get(), seq, rewrite ? &*rewrite : nullptr, dst);
    } else {
      Submit({from, to, e.name, src, seq, rewrite, std::move(dst)});
    }
    Report();
  }

  void CopyFolder(const FolderRef& from, const fs::path& src, const std::string& name, const FolderRef& to,
                  uint64_t seq) {
    auto folder = std::make_shared<OpenFolder>();
    folder->src.reset(::openat(from->src.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder->src.ok() || ::fstat(folder->src.get(), &folder->st) != 0) {
      Fail(seq, src, Reason(errno));
      return;
    }
    const DirId id = IdOf(folder->st);
    // The copy itself, when the destination lies inside the site: never copied into itself.
    if (id == copyRoot_) return;
    if (std::find(stack_.begin(), stack_.end(), id) != stack_.end()) {
      Fail(seq, src, "link loop");
      return;
    }
    folder->dstPath = to->dstPath / name;
    folder->listed = to->listed && !name.empty() && name[0] != '_';
    if (::mkdirat(to->dst.get(), name.c_str(), 0700) != 0) {
      Fail(seq, src, Reason(errno));
      return;
    }
    folder->dst.reset(::openat(to->dst.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder->dst.ok()) {
      Fail(seq, src, Reason(errno));
      return;
    }
    Report("Copying Directory: " + platform_.DisplayName(src));

    std::vector<Entry> entries;
    int err = 0;
    if (!ListFolder(folder->src.get(), entries, err)) Fail(Next(), src, Reason(err));
    stack_.push_back(id);
    for (const Entry& e : entries) CopyEntry(folder, src, e, folder);
    stack_.pop_back();
  }

  // Copies one file; with `rewrite`, the new file gets the rewritten bytes instead, and the
  // outcome waits for the run under `dst`. A file that cannot be rewritten is copied as it is.
  void CopyFile(int srcDirFd, const fs::path& src, const fs::path& name, int dstDirFd, uint64_t seq,
                const Rewrite* rewrite, const fs::path& dst) {
    Fd in(::openat(srcDirFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (!in.ok() || ::fstat(in.get(), &st) != 0) {
      Fail(seq, src, Reason(errno));
      return;
    }
    if (!S_ISREG(st.st_mode)) {
      Fail(seq, src, "not a file or folder");
      return;
    }
    Fd out(::openat(dstDirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0777));
    if (!out.ok()) {
      Fail(seq, src, Reason(errno));
      return;
    }
    uint64_t copied = 0;
    int err = 0;
    std::optional<AheadFile> ahead;
    bool ok = true;
    if (rewrite) ahead = RewriteInto(in.get(), out.get(), st, src, *rewrite, copied, ok, err);
    if (!ahead && ok) ok = CopyBytes(in.get(), out.get(), static_cast<uint64_t>(st.st_size), copied, err);
    if (ok) {
      const struct timespec times[2] = {st.st_atim, st.st_mtim};
      (void)::futimens(out.get(), times);
    }
    if (::close(out.release()) != 0 && ok) {
      ok = false;
      err = errno;
    }
    if (!ok) {
      // A partial file would be rewritten as if it were the page: take it out of the copy.
      ::unlinkat(dstDirFd, name.c_str(), 0);
      Fail(seq, src, Reason(err));
      return;
    }
    files_.fetch_add(1);
    bytes_.fetch_add(copied);
    if (ahead) {
      std::lock_guard lock(aheadMutex_);
      ahead_.emplace(dst.native(), std::move(*ahead));
    }
  }

  // Reads the source and writes its rewritten bytes into the new file. Nothing when the source
  // could not be read in one piece: the caller then copies it plainly (`ok` stays true) and the
  // run rewrites it later. A rewrite that fails or cannot be written leaves the source's bytes
  // in the file and says so in the outcome; `ok` false: not even those could be written.
  std::optional<AheadFile> RewriteInto(int in, int out, const struct stat& st, const fs::path& src,
                                       const Rewrite& rewrite, uint64_t& copied, bool& ok, int& err) {
    std::string bytes;
    int readErr = 0;
    if (!ReadAll(in, static_cast<uint64_t>(st.st_size), bytes, readErr)) {
      ok = Rewind(in, out, err);
      return std::nullopt;
    }
    AheadFile a;
    a.kind = rewrite.kind;
    a.php = rewrite.php;
    a.source = src;
    a.before = static_cast<int64_t>(bytes.size());
    const uint64_t size = bytes.size();
    try {
      Optimized o = OptimizeText(std::move(bytes), rewrite.kind, rewrite.php, *env_);
      a.after = static_cast<int64_t>(o.text.size());
      a.unbalanced = std::move(o.unbalanced);
      int writeErr = 0;
      if (WriteAll(out, o.text, writeErr)) {
        mFile::SetTextTypeAndCreator(out);
        copied = size;
        return a;
      }
      a.status = AheadFile::Status::WriteFailed;
    } catch (const std::exception& e) {
      a.status = AheadFile::Status::Error;
      a.errType = mError::TypeName(e);
      a.errMessage = e.what();
      a.errStack = mError::CurrentStack();
    } catch (...) {
      a.status = AheadFile::Status::Error;
      a.errType = "unknown exception";
      a.errStack = mError::CurrentStack();
    }
    // The file keeps its source's bytes, as the run leaves a file it cannot rewrite.
    ok = Rewind(in, out, err) && CopyBytes(in, out, size, copied, err);
    return a;
  }

  // Queues a file for the copying threads; waits while enough are queued, so that only a
  // bounded number of folders stay open. Each side wakes the other only when it is known to
  // be waiting: most files then cost no wake-up at all.
  void Submit(FileJob job) {
    std::unique_lock lock(mutex_);
    if (queue_.size() >= kQueueLimit) {
      ++fullWaits_;
      room_.wait(lock, [&] { return queue_.size() < kQueueLimit / 2; });
      --fullWaits_;
    }
    queue_.push_back(std::move(job));
    const bool wake = idle_ > 0;
    lock.unlock();
    if (wake) wake_.notify_one();
  }

  void Work() {
    for (;;) {
      FileJob job;
      {
        std::unique_lock lock(mutex_);
        while (!stop_ && queue_.empty()) {
          ++idle_;
          wake_.wait(lock);
          --idle_;
        }
        if (queue_.empty()) return;
        job = std::move(queue_.front());
        queue_.pop_front();
        ++busy_;
        if (fullWaits_ > 0 && queue_.size() < kQueueLimit / 2) room_.notify_one();
      }
      CopyFile(job.from->src.get(), job.src, job.name, job.to->dst.get(), job.seq,
               job.rewrite ? &*job.rewrite : nullptr, job.dst);
      job = FileJob{};  // lets go of the folders before counting the job as done
      bool last;
      {
        std::lock_guard lock(mutex_);
        --busy_;
        last = finishing_ && busy_ == 0 && queue_.empty();
      }
      if (last) done_.notify_all();
    }
  }

  static constexpr size_t kQueueLimit = 256;

  const SiteCopyRequest& request_;
  SiteCopyResult& result_;
  const platform::Platform& platform_;
  const DirId copyRoot_;
  const OptimizeEnv* const env_;  // rewriting while copying; null: plain copies
  std::vector<DirId> stack_;  // the source folders on the path being walked
  uint64_t seq_ = 0;          // walk order of every item, so failures come out in that order
  CopyProgress progress_;
  std::atomic<uint64_t> files_{0}, bytes_{0};

  std::mutex failMutex_;
  std::vector<std::pair<uint64_t, CopyFailure>> failures_;

  std::mutex aheadMutex_;
  std::unordered_map<std::string, AheadFile> ahead_;

  std::mutex mutex_;
  std::condition_variable wake_, room_, done_;
  std::deque<FileJob> queue_;
  size_t busy_ = 0;
  size_t idle_ = 0;       // workers waiting for a file
  size_t fullWaits_ = 0;  // the walk waits for room in the queue
  bool finishing_ = false;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

fs::path Normal(const fs::path& path) {
  std::error_code ec;
  fs::path abs = fs::absolute(path, ec);
  if (ec) abs = path;
  abs = abs.lexically_normal();
  if (!abs.has_filename() && abs.has_parent_path() && abs != abs.root_path()) abs = abs.parent_path();
  return abs;
}

bool IsAtOrBelow(const fs::path& item, const fs::path& folder) {
  auto i = item.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++i) {
    if (f->empty()) continue;
    if (i == item.end() || *i != *f) return false;
  }
  return true;
}

bool Exists(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

// Creates the missing folders of `path` for the owner alone, as trash folders are made.
bool MakePrivateFolders(const fs::path& path) {
  fs::path partial;
  for (const auto& part : path) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Moves `from` to `to` unless something already stands at `to`; EEXIST then.
int MoveNoReplace(const fs::path& from, const fs::path& to) {
#ifdef __linux__
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  if (Exists(to)) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

bool IsFilteredName(const std::string& name) {
  return (!name.empty() && name[0] == '_') || txt::Contains(name, " copy");
}

std::string CompressedName(const std::string& displayName) { return displayName + " Compressed"; }

std::string TrashStamp(const QDateTime& when) {
  return when.toString(QStringLiteral("yyyyMMdd hhmmss")).toStdString();
}

std::string StampedTrashName(const std::string& name, bool isFolder, const std::string& stamp) {
  const size_t lastDot = name.rfind('.');
  if (isFolder || lastDot == std::string::npos) return name + " " + stamp;
  const size_t prevDot = lastDot == 0 ? std::string::npos : name.rfind('.', lastDot - 1);
  const size_t start = prevDot == std::string::npos ? 0 : prevDot + 1;
  return name.substr(start, lastDot - start) + " " + stamp + name.substr(lastDot);
}

TrashResult TrashFolderitem(const fs::path& item, platform::Platform& platform) {
  TrashResult r;
  struct stat st {};
  if (::lstat(item.c_str(), &st) != 0) {
    r.ok = errno == ENOENT;
    if (!r.ok) r.reason = Reason(errno);
    return r;
  }
  const QDateTime now = platform.Now();
  const std::string stamp = TrashStamp(now);
  const fs::path files = platform.TrashFolderFor(item);
  if (!MakePrivateFolders(files)) {
    r.reason = "the Trash folder cannot be made";
    return r;
  }
#ifdef __APPLE__
  const fs::path info;
#else
  const fs::path info = files.parent_path() / "info";
  if (!MakePrivateFolders(info)) {
    r.reason = "the Trash folder cannot be made";
    return r;
  }
#endif
  const std::string name = Normal(item).filename().string();
  const bool isFolder = S_ISDIR(st.st_mode);
  auto taken = [&](const std::string& n) {
    return Exists(files / n) || (!info.empty() && Exists(info / (n + ".trashinfo")));
  };
  // The name itself when the Trash has no such item; the stamped name otherwise, numbered
  // further only when two copies go to the Trash within one second.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = name;
    if (attempt == 0 && taken(name)) continue;
    if (attempt > 0)
      candidate = StampedTrashName(name, isFolder, attempt == 1 ? stamp : stamp + " " + std::to_string(attempt));
    fs::path infoFile;
    if (!info.empty()) {
      infoFile = info / (candidate + ".trashinfo");
      const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        r.reason = Reason(errno);
        return r;
      }
      const QByteArray path = QUrl::toPercentEncoding(QString::fromStdString(Normal(item).string()), "/");
      const std::string body = "[Trash Info]\nPath=" + path.toStdString() + "\nDeletionDate=" +
                               now.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toStdString() + "\n";
      const bool written = ::write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
      if (::close(fd) != 0 || !written) {
        const int err = errno;
        ::unlink(infoFile.c_str());
        r.reason = Reason(err);
        return r;
      }
    }
    const int err = MoveNoReplace(item, files / candidate);
    if (err == 0) {
      r.ok = true;
      r.trashedAs = files / candidate;
      return r;
    }
    if (!infoFile.empty()) ::unlink(infoFile.c_str());
    if (err != EEXIST) {
      r.reason = Reason(err);
      return r;
    }
  }
  r.reason = "the Trash holds too many items of that name";
  return r;
}

SiteCopyResult CopySite(const SiteCopyRequest& request, platform::Platform& platform) {
  SiteCopyResult result;
  const fs::path site = Normal(request.site);
  result.site = site;
  const fs::path parent = Normal(request.destinationParent.empty() ? platform.DesktopFolder() : request.destinationParent);

  Fd siteFd(::open(site.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat siteStat {};
  if (!siteFd.ok() || ::fstat(siteFd.get(), &siteStat) != 0) {
    std::error_code ec;
    result.error = fs::exists(site, ec) && !fs::is_directory(site, ec) ? "Error!\rThe site is not a folder."
                                                                        : "Error!\rThe site folder does not exist.";
    result.refused = true;
    return result;
  }
  const std::string name = platform.DisplayName(site);
  if (name.empty()) {
    result.error = "Error!\rThe site folder has no name to give its copy.";
    result.refused = true;
    return result;
  }
  struct stat parentStat {};
  if (::stat(parent.c_str(), &parentStat) != 0 || !S_ISDIR(parentStat.st_mode)) {
    result.error = "Error!\rThe folder for the compressed copy does not exist.";
    result.refused = true;
    return result;
  }
  if (::access(parent.c_str(), W_OK | X_OK) != 0) {
    result.error = "Error!\rThe folder for the compressed copy is not writable.";
    result.refused = true;
    return result;
  }

  const fs::path copy = parent / CompressedName(name);
  if (Exists(copy)) {
    std::error_code ec;
    const fs::path realSite = fs::weakly_canonical(site, ec);
    const fs::path realCopy = fs::weakly_canonical(copy, ec);
    if (IsAtOrBelow(ec ? site : realSite, ec ? copy : realCopy)) {
      result.error = "Error!\rThe site folder lies inside its earlier compressed copy.";
      result.refused = true;
    return result;
    }
    const TrashResult trashed = TrashFolderitem(copy, platform);
    if (!trashed.ok) {
      result.error = "Error!\rThe earlier copy \"" + copy.filename().string() +
                     "\" could not be moved to the Trash (" + trashed.reason + "), so nothing was compressed.";
      return result;
    }
    result.trashed = trashed.trashedAs;
  }
  // Never merged into something that stands at the copy's place: made anew or not at all.
  if (::mkdir(copy.c_str(), 0777) != 0) {
    result.error = "Error!\rThe compressed copy \"" + copy.filename().string() + "\" could not be made (" +
                   Reason(errno) + ").";
    return result;
  }
  Fd copyFd(::open(copy.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat copyStat {};
  if (!copyFd.ok() || ::fstat(copyFd.get(), &copyStat) != 0) {
    result.error = "Error!\rThe compressed copy \"" + copy.filename().string() + "\" could not be opened.";
    return result;
  }
  result.copy = copy;

  auto from = std::make_shared<OpenFolder>();
  from->src.reset(siteFd.release());
  from->st = siteStat;
  auto to = std::make_shared<OpenFolder>();
  to->dst.reset(copyFd.release());
  to->keepDates = false;
  to->dstPath = copy;
  std::optional<OptimizeEnv> env;
  if (request.rewrite) {
    RunSettings settings = *request.rewrite;
    settings.originalFolder = site;
    env = RunEnvironment(settings, platform.Now());
    result.ahead.env = *env;
  }
  Copier copier(request, result, platform, IdOf(copyStat), env ? &*env : nullptr);
  copier.CopyTop(std::move(from), site, std::move(to));
  copier.Finish();
  if (result.cancelled) copier.PutBackRewritten();
  return result;
}

namespace {

void Collect(int dirFd, const fs::path& folder, platform::Platform& platform, std::vector<fs::path>& out) {
  std::vector<Entry> entries;
  int err = 0;
  ListFolder(dirFd, entries, err);
  for (const Entry& e : entries) {
    unsigned char type = e.type;
    if (type == DT_UNKNOWN) {
      struct stat st {};
      if (::fstatat(dirFd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
    }
    const fs::path item = folder / e.name;
    if (type == DT_DIR) {
      const std::string shown = platform.DisplayName(item);
      if (!shown.empty() && shown[0] == '_') continue;
      Fd sub(::openat(dirFd, e.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (sub.ok()) Collect(sub.get(), item, platform, out);
    } else if (type == DT_REG) {
      if (mFile::KindOfName(e.name) == FileKind::Other) continue;
      if (platform.IsHidden(item)) continue;
      const std::string shown = platform.DisplayName(item);
      if ((!shown.empty() && shown[0] == '_') || txt::Contains(shown, " copy")) continue;
      out.push_back(item);
    }
    // Links are left alone: the copy never makes one, and one put there later could lead a
    // rewrite out of the copy.
  }
}

}  // namespace

std::vector<fs::path> FindTheFiles(const fs::path& copy, platform::Platform& platform) {
  std::vector<fs::path> files;
  if (copy.empty()) return files;
  Fd root(::open(copy.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (root.ok()) Collect(root.get(), copy, platform, files);
  return files;
}

RunReport RunCollected(const std::vector<fs::path>& files, const RunSettings& settings,
                       platform::Platform& platform, const RowCallback& onRow) {
  // Rows arrive in list order; an index the run passed over is a file that vanished (every
  // collected file is of a kind the run rewrites). Its row goes in at its place.
  std::vector<ResultRow> rows;
  size_t next = 0;
  auto vanishedUpTo = [&](size_t end) {
    for (; next < end; ++next) {
      ResultRow row;
      row.file = files[next];
      row.path = mFile::GetExtraServerPathStr(settings.optimizedFolder, files[next]);
      row.ok = false;
      row.bytes = "read failed";
      rows.push_back(row);
      if (onRow) onRow(rows.back(), next, files.size());
    }
  };
  RunReport report = Run(files, settings, platform, [&](const ResultRow& row, size_t index, size_t count) {
    vanishedUpTo(index);
    rows.push_back(row);
    next = index + 1;
    if (onRow) onRow(row, index, count);
  });
  vanishedUpTo(files.size());
  report.rows = std::move(rows);
  return report;
}

}  // namespace trimora
