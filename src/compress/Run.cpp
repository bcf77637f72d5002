#include "compress/Run.h"

#include "app/Platform.h"
#include "app/mError.h"
#include "app/mFile.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/stat.h>

namespace trimora {
namespace {

// What reading and optimising one file gave: its new bytes written to a temporary file
// beside it (with the old file's permissions and dates), not yet put in its place.
struct Prepared {
  enum class Status { Skip, Ok, ReadFailed, Error } status = Status::Skip;
  mFile::StagedWrite staged;
  bool inPlace = false;  // Ok: the new bytes are already in the file (rewritten ahead)
  int64_t before = 0;
  int64_t after = 0;
  std::vector<SyntaxCheck::Unbalanced> unbalanced;
  std::string errType, errMessage;
  std::vector<std::string> errStack;
};

void NoteError(Prepared& p, std::string type, std::string message) {
  p.status = Prepared::Status::Error;
  p.staged.Discard();
  p.errType = std::move(type);
  p.errMessage = std::move(message);
  p.errStack = mError::CurrentStack();
}

// Which files are rewritten, and how. Asks the platform, so it runs on the calling thread.
struct Selection {
  bool skip = true;
  FileKind kind = FileKind::Other;
  bool php = false;     // an HTML-kind file whose display name ends like a PHP file
  std::string error;    // a failure while deciding
  std::string errType;
  std::optional<AheadFile> ahead;  // already rewritten the way this selection would
};

// Looks at one file and, when it was rewritten ahead, takes the outcome over if it was
// rewritten the same way; else the file gets its source's bytes back and is rewritten anew.
Selection Select(const fs::path& file, const platform::Platform& platform, RewrittenAhead* ahead) {
  Selection sel;
  std::optional<AheadFile> done;
  if (ahead && !ahead->files.empty()) {
    if (auto node = ahead->files.extract(file.native())) done = std::move(node.mapped());
  }
  try {
    // Once the file is known to exist, its kind and the PHP judgement follow from names. One
    // rewritten ahead that has gone since gets the same row as any other gone file.
    struct stat st {};
    if (file.empty() || ::stat(file.c_str(), &st) != 0) return sel;
    sel.kind = mFile::KindOfName(file.filename().native());
    const bool rewritten = sel.kind != FileKind::Other;
    sel.php = rewritten && sel.kind == FileKind::Html && mFile::isPHPName(platform.DisplayName(file));
    if (done && rewritten && done->kind == sel.kind && done->php == sel.php) {
      sel.skip = false;
      sel.ahead = std::move(done);
      return sel;
    }
    if (done) RestoreAheadFile(file, *done);
    sel.skip = !rewritten;
  } catch (const std::exception& e) {
    if (done) RestoreAheadFile(file, *done);
    sel.skip = false;
    sel.errType = mError::TypeName(e);
    sel.error = e.what();
  } catch (...) {
    if (done) RestoreAheadFile(file, *done);
    sel.skip = false;
    sel.errType = "unknown exception";
  }
  return sel;
}

// The outcome of a file rewritten ahead, as if it had been prepared now.
Prepared FromAhead(AheadFile a) {
  Prepared p;
  p.before = a.before;
  p.after = a.after;
  p.unbalanced = std::move(a.unbalanced);
  switch (a.status) {
    case AheadFile::Status::Ok:
      p.status = Prepared::Status::Ok;
      p.inPlace = true;
      break;
    case AheadFile::Status::WriteFailed:
      p.status = Prepared::Status::Ok;  // nothing staged: the commit reports the failed write
      break;
    case AheadFile::Status::Error:
      p.status = Prepared::Status::Error;
      p.errType = std::move(a.errType);
      p.errMessage = std::move(a.errMessage);
      p.errStack = std::move(a.errStack);
      break;
  }
  return p;
}

// Reading, the per-file sequence and writing the new bytes beside the file. Changes nothing
// that is seen under the file's own name and touches nothing of the platform, so it may run on
// any thread; putting the new file in place is left to the commit.
Prepared Prepare(const fs::path& file, Selection& sel, const OptimizeEnv& env) {
  Prepared p;
  if (sel.skip) return p;
  if (sel.ahead) return FromAhead(std::move(*sel.ahead));
  if (!sel.errType.empty()) {
    NoteError(p, sel.errType, sel.error);
    return p;
  }
  try {
    mFile::FileDates dates;
    int mode = -1;
    auto raw = mFile::ReadFileBytes(file, &dates, &mode);
    if (!raw) {
      p.status = Prepared::Status::ReadFailed;
      return p;
    }
    p.before = static_cast<int64_t>(raw->size());
    Optimized out = OptimizeText(std::move(*raw), sel.kind, sel.php, env);
    p.after = static_cast<int64_t>(out.text.size());
    p.unbalanced = std::move(out.unbalanced);
    p.staged = mFile::StagedWrite::Stage(file, out.text, mode, &dates);
    p.status = Prepared::Status::Ok;
  } catch (const std::exception& e) {
    NoteError(p, mError::TypeName(e), e.what());
  } catch (...) {
    NoteError(p, "unknown exception", "");
  }
  return p;
}

class Committer {
 public:
  Committer(const std::vector<fs::path>& files, const RunSettings& settings, platform::Platform& platform,
            const RowCallback& onRow, RunReport& report)
      : files_(files), settings_(settings), platform_(platform), onRow_(onRow), report_(report) {}

  // Writing, dates, findings and the row of file `index`, strictly in list order.
  void Commit(size_t index, Prepared p) {
    if (p.status == Prepared::Status::Skip) return;
    const fs::path& file = files_[index];
    ResultRow row;
    row.file = file;
    row.path = mFile::GetExtraServerPathStr(settings_.optimizedFolder, file);
    try {
      switch (p.status) {
        case Prepared::Status::ReadFailed:
          Fail(row, "read failed");
          break;
        case Prepared::Status::Error:
          mError::ReportException(platform_, p.errType, p.errMessage, p.errStack);
          Fail(row, "error: " + (p.errMessage.empty() ? p.errType : p.errMessage));
          break;
        case Prepared::Status::Ok:
        case Prepared::Status::Skip:
          Write(row, p);
          break;
      }
    } catch (const std::exception& e) {
      mError::ReportException(platform_, e);
      Fail(row, std::string("error: ") + e.what());
    }
    if (row.ok) report_.total += row.removed;
    report_.rows.push_back(row);
    if (onRow_) onRow_(report_.rows.back(), index, files_.size());
  }

 private:
  static void Fail(ResultRow& row, std::string text) {
    row.ok = false;
    row.removed = 0;
    row.bytes = std::move(text);
  }

  void Write(ResultRow& row, Prepared& p) {
    for (const auto& u : p.unbalanced)
      report_.findings.push_back({SyntaxCheck::FindingMessage(row.path, u), row.file});
    if (!p.inPlace && (!p.staged.staged() || !p.staged.Commit())) {
      Fail(row, "write failed");
      return;
    }
    row.removed = p.before - p.after;
    row.bytes = std::to_string(row.removed) + " bytes";
  }

  const std::vector<fs::path>& files_;
  const RunSettings& settings_;
  platform::Platform& platform_;
  const RowCallback& onRow_;
  RunReport& report_;
};

// Prepares files on worker threads, never more than `window` ahead of the file being
// committed, so that few new files wait beside their targets at once. The committing thread
// prepares files itself rather than wait idle. Each side wakes the other only when it is known
// to be waiting. The workers never call the platform: the committing thread looks at each file
// (Select) just before the window reaches it.
class PreparePool {
 public:
  PreparePool(const std::vector<fs::path>& files, const platform::Platform& platform, RewrittenAhead* ahead,
              const OptimizeEnv& env, size_t threads, size_t window)
      : files_(files), platform_(platform), ahead_(ahead), selections_(files.size()), env_(env), window_(window),
        slots_(files.size()) {
    for (size_t i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  }

  ~PreparePool() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    workCv_.notify_all();
    for (auto& w : workers_) w.join();
  }

  // Waits for file `index` and lets the workers move on past it.
  Prepared Take(size_t index) {
    SelectUpTo(std::min(files_.size(), index + 1 + window_), index);
    std::unique_lock lock(mutex_);
    while (!slots_[index]) {
      if (next_ < limit_) {
        const size_t i = next_++;
        lock.unlock();
        auto p = std::make_unique<Prepared>(Prepare(files_[i], selections_[i], env_));
        lock.lock();
        slots_[i] = std::move(p);
        continue;
      }
      waitingFor_ = index;
      doneCv_.wait(lock);
    }
    waitingFor_ = kNone;
    Prepared p = std::move(*slots_[index]);
    slots_[index].reset();
    const size_t oldLimit = limit_;
    taken_ = index + 1;
    limit_ = std::min(selected_, taken_ + window_);
    const bool wake = idle_ > 0 && limit_ > oldLimit;
    lock.unlock();
    if (wake) workCv_.notify_one();
    return p;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // Selects the files up to `end` and opens them to the workers, a few at a time so that they
  // can start early. Only this thread writes `selected_` and the selections at and past it; a
  // worker reads a selection below `limit_` only, published under the lock.
  void SelectUpTo(size_t end, size_t index) {
    while (selected_ < end) {
      const size_t from = selected_, to = std::min(end, from + 8);
      for (size_t i = from; i < to; ++i) selections_[i] = Select(files_[i], platform_, ahead_);
      bool wake;
      {
        std::lock_guard lock(mutex_);
        selected_ = to;
        const size_t oldLimit = limit_;
        limit_ = std::min(selected_, std::max(taken_, index) + window_);
        wake = idle_ > 0 && limit_ > oldLimit;
      }
      if (wake) workCv_.notify_one();
    }
  }

  void Work() {
    for (;;) {
      size_t index;
      {
        std::unique_lock lock(mutex_);
        while (!stop_ && next_ >= limit_ && next_ < files_.size()) {
          ++idle_;
          workCv_.wait(lock);
          --idle_;
        }
        if (stop_ || next_ >= files_.size()) return;
        index = next_++;
        // More work left in the window: let another idle worker take it.
        if (next_ < limit_ && idle_ > 0) workCv_.notify_one();
      }
      auto p = std::make_unique<Prepared>(Prepare(files_[index], selections_[index], env_));
      bool wake;
      {
        std::lock_guard lock(mutex_);
        slots_[index] = std::move(p);
        wake = waitingFor_ == index;
      }
      if (wake) doneCv_.notify_one();
    }
  }

  const std::vector<fs::path>& files_;
  const platform::Platform& platform_;
  RewrittenAhead* const ahead_;
  std::vector<Selection> selections_;
  const OptimizeEnv& env_;
  const size_t window_;
  std::mutex mutex_;
  std::condition_variable workCv_;  // workers wait here for room in the window
  std::condition_variable doneCv_;  // the committing thread waits here for its file
  std::vector<std::unique_ptr<Prepared>> slots_;
  size_t next_ = 0;   // the next file to prepare
  size_t limit_ = 0;  // files below this index only
  size_t selected_ = 0;  // files below this index have been looked at
  size_t taken_ = 0;     // files below this index have been handed to the commit
  size_t idle_ = 0;   // workers waiting for room
  size_t waitingFor_ = kNone;  // the file the committing thread waits for
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

OptimizeEnv RunEnvironment(const RunSettings& settings, const QDateTime& now) {
  OptimizeEnv env;
  env.opts = settings.opts;
  env.dicts = settings.dicts;
  env.now = now;
  env.vars = mVarialbles::isBrixelVariables(settings.originalFolder, settings.originalFolder);
  return env;
}

bool RestoreAheadFile(const fs::path& file, const AheadFile& ahead) {
  mFile::FileDates dates;
  int mode = -1;
  auto bytes = mFile::ReadFileBytes(ahead.source, &dates, &mode);
  if (!bytes) return false;
  mFile::StagedWrite w = mFile::StagedWrite::Stage(file, *bytes, mode & 0777, &dates);
  return w.staged() && w.Commit();
}

RunReport Run(const std::vector<fs::path>& files, const RunSettings& settings, platform::Platform& platform,
              const RowCallback& onRow) {
  RunReport report;
  RewrittenAhead* ahead = settings.ahead;
  const OptimizeEnv env =
      RunEnvironment(settings, ahead && ahead->env.now.isValid() ? ahead->env.now : platform.Now());
  if (ahead && !ahead->files.empty()) {
    const OptimizeEnv& was = ahead->env;
    if (!(was.opts == env.opts) || was.dicts != env.dicts || was.vars.text != env.vars.text ||
        was.vars.isBrixelProject != env.vars.isBrixelProject) {
      for (const auto& [file, a] : ahead->files) RestoreAheadFile(file, a);
      ahead->files.clear();
    }
  }

  Committer committer(files, settings, platform, onRow, report);
  // Files rewritten ahead need no more than a look each: threads only pay for the others.
  size_t threads = std::min(files.size(), static_cast<size_t>(std::max(1, settings.jobs)));
  if (ahead && !ahead->files.empty()) {
    size_t toPrepare = 0;
    for (const fs::path& f : files) toPrepare += ahead->files.count(f.native()) ? 0 : 1;
    if (toPrepare < 16) threads = 1;
  }
  if (threads <= 1) {
    for (size_t i = 0; i < files.size(); ++i) {
      Selection sel = Select(files[i], platform, ahead);
      committer.Commit(i, Prepare(files[i], sel, env));
    }
  } else {
    // A prepared file holds little memory (its new bytes wait on disk), so the workers may run
    // well ahead of the commits and seldom have to be woken.
    PreparePool pool(files, platform, ahead, env, threads, 32 * threads);
    for (size_t i = 0; i < files.size(); ++i) committer.Commit(i, pool.Take(i));
  }
  // A file rewritten ahead that the run was not given stays as the site has it.
  if (ahead) {
    for (const auto& [file, a] : ahead->files) RestoreAheadFile(file, a);
    ahead->files.clear();
  }

  report.totalBytes = std::to_string(report.total) + " bytes";
  mFile::CleanUpTMP();
  mFile::SetTmpFileNumber(1);
  return report;
}

}  // namespace trimora
