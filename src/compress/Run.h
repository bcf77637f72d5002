// The optimisation run over a list of collected files: one result row per rewritten file and
// a totals row, as data that the window and the command line show.
//
// Each file is rewritten in place; its previous version goes into mFile's "Tmp" (so the
// support folder should have been found with mFile::InitAppSupportFolder), which is emptied
// and renumbered from 1 when the run ends. A file that cannot be read, written or processed
// gets a row saying so, is left as it was, and the run goes on; processing errors are also
// written to the error log.
#pragma once

#include "compress/Optimizer.h"

#include <QDateTime>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform { class Platform; }

namespace trimora {

namespace fs = std::filesystem;

struct ResultRow {
  std::string path;    // "∼/css/site.css"
  std::string bytes;   // "123 bytes", or "read failed", "write failed", "error: ..."
  bool ok = true;      // false: the row adds nothing to the total
  int64_t removed = 0; // before minus after
  fs::path file;       // the file in the compressed copy
};

struct Finding {
  std::string message; // "∼/index.html <div> Tags  Start Tags: 3 End Tags: 2"
  fs::path file;
};

struct RunReport {
  std::vector<ResultRow> rows;     // one per rewritten file, in list order
  int64_t total = 0;
  std::string totalLabel = "Total bytes removed: ";
  std::string totalBytes;          // "1234 bytes"
  std::vector<Finding> findings;   // tag-check findings, in run order
};

// A file of the compressed copy that was rewritten while it was copied, so that its bytes were
// written once: what the run would have found and done. The run takes the outcome over instead
// of rewriting the file again, as long as it would rewrite it the same way (same kind, same PHP
// judgement); otherwise, and for every such file the run is not given, the file gets back the
// bytes of its source, so that only the files the run rewrites end up changed.
struct AheadFile {
  enum class Status { Ok, WriteFailed, Error } status = Status::Ok;
  FileKind kind = FileKind::Other;
  bool php = false;
  int64_t before = 0;  // the source's size
  int64_t after = 0;   // the size written
  std::vector<SyntaxCheck::Unbalanced> unbalanced;
  std::string errType, errMessage;  // Error: the file holds its source's bytes
  std::vector<std::string> errStack;
  fs::path source;     // the site's file it was copied from
};
struct RewrittenAhead {
  // What the files were rewritten with. The run shows the same moment in its date stamps; when
  // its options, dictionaries or variables differ, it puts every file back and rewrites anew.
  OptimizeEnv env;
  std::unordered_map<std::string, AheadFile> files;  // by path in the copy, as collected
  bool empty() const { return files.empty(); }
};

struct RunSettings {
  fs::path originalFolder;   // the site folder the user selected (variables lookup)
  fs::path optimizedFolder;  // the compressed copy (root of the row paths)
  Options opts;
  const SyntaxCheck::Dictionaries* dicts = nullptr;
  int jobs = 1;              // files rewritten in parallel; output identical to jobs = 1
  RewrittenAhead* ahead = nullptr;  // files already rewritten; the run uses up the entries
};

// What every file of a run is rewritten with: the options, the dictionaries, the variables
// file of the site and the moment date stamps show.
OptimizeEnv RunEnvironment(const RunSettings& settings, const QDateTime& now);

// Gives a file rewritten ahead the bytes, permissions and dates of its source again.
bool RestoreAheadFile(const fs::path& file, const AheadFile& ahead);

// Called on the calling thread for every row as soon as it and all rows before it are done;
// `index` is the position of the row's file in the list, `count` the length of the list.
using RowCallback = std::function<void(const ResultRow&, size_t index, size_t count)>;

// Empty entries, files that no longer exist and files of no rewritten kind are skipped without
// a row. A file taken over from settings.ahead is neither read nor written again; its row and
// findings are those of its rewrite. Date stamps show platform.Now() taken once when the run starts. With jobs > 1 the
// files are read and optimised on worker threads; `platform` and `onRow` are used on the
// calling thread only.
RunReport Run(const std::vector<fs::path>& files, const RunSettings& settings,
              platform::Platform& platform, const RowCallback& onRow = {});

}  // namespace trimora
