// The site copy of a compression and the collection of the files the run rewrites.
//
// CopySite makes "<display name> Compressed" in a destination folder (the Desktop), sends an
// earlier copy of that name to the Trash first, and copies the site's top-level items into it
// with the name filters: a name beginning with "_" or holding " copy" stays behind. Links are
// followed; a folder already on the path being copied is not entered again. The site folder is
// only read. CopySite may be called on any thread (the window calls it on a worker); it copies
// files on threads of its own beside the walk, and shares with its caller only the cancel flag
// and the progress callback, which it calls on the calling thread.
//
// FindTheFiles walks the finished copy and lists the visible HTML-kind, CSS and script files
// whose names pass the same filters, in folder item order (names by Unicode code point).
#pragma once

#include "compress/Run.h"

#include <QDateTime>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace platform { class Platform; }

namespace trimora {

namespace fs = std::filesystem;

struct CopyProgress {
  std::string text;    // "Copying Directory: img", the folder the copy has just created
  uint64_t files = 0;  // files copied so far
  uint64_t bytes = 0;  // their bytes
};
// Called on the thread that called CopySite, after each created folder and each file.
using CopyProgressCallback = std::function<void(const CopyProgress&)>;

struct CopyFailure {
  fs::path item;       // the item in the site folder that is missing from the copy
  std::string reason;  // "link loop", "broken link", or the system's error text
};

struct SiteCopyRequest {
  fs::path site;                              // the folder the user selected
  fs::path destinationParent;                 // where the copy goes; empty: the Desktop
  const std::atomic<bool>* cancel = nullptr;  // checked before each top-level item
  CopyProgressCallback progress;
  int threads = 0;  // files copied at once; 0: one per core, at most four
  // The settings of the run that follows. When given, the files the collection will list are
  // rewritten as they are copied (their bytes are written once, already rewritten) and the
  // outcomes wait in the result for that run. A cancelled copy puts the sources' bytes back.
  const RunSettings* rewrite = nullptr;
};

struct SiteCopyResult {
  fs::path site;                      // the site folder, absolute, as the copy read it
  fs::path copy;                      // the compressed copy; empty when none was made
  std::vector<CopyFailure> failures;  // items not copied, in walk order
  bool cancelled = false;             // stopped between two top-level items
  std::string error;                  // "Error!\r..." when nothing could be done
  bool refused = false;               // the error is about the request; nothing was touched
  fs::path trashed;                   // where an earlier copy went, if one did
  RewrittenAhead ahead;               // with a rewrite request: the files already rewritten
  uint64_t files = 0;
  uint64_t bytes = 0;
  bool ok() const { return error.empty(); }
};

// "shop" -> "shop Compressed"
std::string CompressedName(const std::string& displayName);

// The stamp an item gets in the Trash when the Trash already holds its name:
// 7 March 2012 09:05:41 -> "20120307 090541".
std::string TrashStamp(const QDateTime& when);

// The name an item takes in the Trash beside a namesake: a folder "shop Compressed" ->
// "shop Compressed 20120307 090541"; a file "index.html" -> "index 20120307 090541.html",
// "a.b.html" -> "b 20120307 090541.html" (the last two parts of the name as cut at "."); a
// file without "." is treated like a folder.
std::string StampedTrashName(const std::string& name, bool isFolder, const std::string& stamp);

struct TrashResult {
  bool ok = false;
  fs::path trashedAs;  // the item's path inside the Trash
  std::string reason;  // why it could not be moved
};
// Moves `item` into the Trash of its volume, giving it the stamped name when the Trash already
// holds its name. On Linux the freedesktop layout is kept (files/NAME and info/NAME.trashinfo).
// Never replaces anything already in the Trash. A missing item gives ok with an empty path.
TrashResult TrashFolderitem(const fs::path& item, platform::Platform& platform);

// The whole copy step. Checks first, so that a refused request creates nothing: the site must be
// an existing folder, the destination an existing folder, and the site must not lie inside the
// earlier copy that would go to the Trash.
SiteCopyResult CopySite(const SiteCopyRequest& request, platform::Platform& platform);

// The files of `copy` the run rewrites, depth first, in folder item order. Links are not
// followed (the copy holds none), so nothing outside `copy` is ever listed.
std::vector<fs::path> FindTheFiles(const fs::path& copy, platform::Platform& platform);

// The run over the collected files. A collected file that is gone by the time the run reaches
// it gets a "read failed" row in its place (the run itself passes over such entries), so that
// every file the user expects rewritten is accounted for.
RunReport RunCollected(const std::vector<fs::path>& files, const RunSettings& settings,
                       platform::Platform& platform, const RowCallback& onRow = {});

// Whether a top-level item of the site stays out of the copy: "_notes", "index copy.html".
bool IsFilteredName(const std::string& name);

}  // namespace trimora
