// The application's file services: the per-user support folder with its scratch folder "Tmp",
// whole-file raw reads and writes, the file kinds the compression rewrites, and the
// site-relative paths the result list shows.
//
// Module state is the support folder (set once at start-up) and the number the next backup in
// "Tmp" receives; both may be read from any thread. Writes that move backups into "Tmp" are
// meant to come from one thread at a time (the run writes in list order on its calling thread).
#pragma once

#include "compress/Optimizer.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform { class Platform; }

namespace mFile {

namespace fs = std::filesystem;

// ---- Support folder and "Tmp" ---------------------------------------------------------------

// The platform's application-data folder, accepted only when its path lies inside the home
// folder (asked up to 50 times); empty when none was found.
fs::path FindAppDataFolder(const platform::Platform& platform);

// Finds the support folder, the child "Trimora" of the application-data folder, and stores it
// (whether or not the child exists yet). Does not create it. Leaves it empty when no
// application-data folder inside the home folder exists.
void InitAppSupportFolder(const platform::Platform& platform);
// For tests and tools: set the support folder directly (empty: none).
void SetAppSupportFolder(const fs::path& folder);
fs::path AppSupportFolder();
// The support folder's child "Tmp"; empty when there is no support folder.
fs::path TmpFolder();

// The number the next backup in "Tmp" is named after ("7.txt"); starts at 1.
int32_t TmpFileNumber();
void SetTmpFileNumber(int32_t n);

// Deletes everything in "Tmp" (the folder itself stays). Silent on every failure.
void CleanUpTMP();

// Puts the current version of the existing `file` into "Tmp" under the next free number
// ("1.txt", "2.txt", ...), advancing TmpFileNumber. The file itself stays where it is (the
// backup is a hard link or, across volumes, a copy), so a write that fails afterwards still
// finds it intact. Nothing happens when there is no "Tmp" folder and it cannot be created.
void MoveFileToTMP(const fs::path& file);

// ---- Raw text files -------------------------------------------------------------------------

// The failure marker of ReadRawTextFile.
inline constexpr std::string_view kFailureMarker = "*";

// The file's bytes, unconverted. Empty path: "". Missing file: "*". A folder: "". Any failure
// while opening or reading: "*". (A file holding "*" reads the same as a failed read; callers
// that must tell them apart use ReadFileBytes.)
std::string ReadRawTextFile(const fs::path& file);

// The file's bytes, or nothing when the file is missing, is a folder or cannot be read.
std::optional<std::string> ReadFileBytes(const fs::path& file);

struct FileDates;
// The same, also giving the dates and permissions the file had when it was opened (taken from
// the open file, so they belong to the bytes read).
std::optional<std::string> ReadFileBytes(const fs::path& file, FileDates* dates, int* mode);

struct WriteResult {
  bool ok = false;
  std::string error;  // short reason when !ok ("No space left on device")
  explicit operator bool() const { return ok; }
};

// Writes `bytes` as the whole new content of `file`:
//  1. the bytes go to a new temporary file beside `file`, with the permissions of the file it
//     replaces, and are given the type "TEXT" and creator "sfri" where the file system keeps
//     such codes;
//  2. only when that write is complete, the previous version (if any) is unlocked and moved
//     into "Tmp" under the next free number (as MoveFileToTMP names it; across volumes it is
//     copied there instead), and the new file is renamed to `file`.
// On any failure the temporary file is removed and `file` keeps its previous content at its
// place. An empty path, or a path naming a folder, is refused.
WriteResult WriteFileBytes(const fs::path& file, std::string_view bytes);

// The same, reporting nothing (preference files and other fire-and-forget writes).
void WriteRawTextFile(const fs::path& file, std::string_view text);

// WriteFileBytes in two halves, so that the bytes of many files can be written on several
// threads while their backups and renames still happen one after the other in a fixed order.
// Stage writes step 1 (any thread); Commit does step 2 (the thread that owns "Tmp"). A staged
// write that is never committed removes its temporary file when it is discarded or destroyed.
class StagedWrite {
 public:
  StagedWrite() = default;
  StagedWrite(StagedWrite&& other) noexcept;
  StagedWrite& operator=(StagedWrite&& other) noexcept;
  StagedWrite(const StagedWrite&) = delete;
  StagedWrite& operator=(const StagedWrite&) = delete;
  ~StagedWrite() { Discard(); }

  // `mode`: the permissions of the file being replaced when the caller already knows them
  // (-1: look). `dates`: given to the new file (null: it keeps the time of the write).
  static StagedWrite Stage(const fs::path& file, std::string_view bytes, int mode = -1,
                           const struct FileDates* dates = nullptr);
  // The outcome of staging; a failed stage leaves nothing on disk.
  const WriteResult& staged() const { return result_; }
  WriteResult Commit();
  void Discard();

 private:
  fs::path file_, temp_;
  bool existed_ = false;
  WriteResult result_;
};

// Gives an open file that has just been rewritten the type "TEXT" and creator "sfri", where the
// file system keeps such codes.
void SetTextTypeAndCreator(int fd);

// Access, modification and creation dates of a file, so that a rewrite can keep them.
struct FileDates {
  bool valid = false;
  timespec accessed{};
  timespec modified{};
  bool hasCreated = false;  // the platform reports creation dates
  timespec created{};
};
FileDates GetFileDates(const fs::path& file);
// Sets the dates back; the creation date only where the platform allows it. Silent.
void SetFileDates(const fs::path& file, const FileDates& dates);

// ---- File kinds -----------------------------------------------------------------------------
// Endings are compared ignoring ASCII case, always against the end of the name.

// ".htm" ".html" ".xhtml" ".xml" ".shtml" ".rss" ".opf" ".ncx" ".thtml" ".tpl" ".zhtml", the
// name not beginning with "_"; existence is not tested.   "menu.js.tpl" -> true
bool isHTML(const fs::path& file);
// ".js".   "x.json" -> false
bool isSCRIPT(const fs::path& file);
// ".css" or ".csstpl", and the file exists.
bool isCSS(const fs::path& file);
// The display name ends with ".php" ".php3" ".php4" ".php5" ".phtml", and the file exists.
bool isPHP(const fs::path& file, const platform::Platform& platform);
// The same test on a display name alone.
bool isPHPName(std::string_view displayName);

// The kind the run rewrites the file as: Html, Css, Script, or Other (not rewritten).
trimora::FileKind KindOf(const fs::path& file);
// The same judged on the name alone, for a file known to exist.
trimora::FileKind KindOfName(std::string_view name);

// ---- Site-relative paths --------------------------------------------------------------------

// "∼/" (U+223C, then an ASCII slash) followed by the path of `item` below `root`, every
// component, joined by "/": "∼/about/team/index.html"; "∼/" for the root itself; "" for an
// item outside the root. Lexical: neither path needs to exist.
std::string GetExtraServerPathStr(const fs::path& root, const fs::path& item);

}  // namespace mFile
