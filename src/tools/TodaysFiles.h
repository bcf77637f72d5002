// The files of the compressed copy modified today, for the "Files Modified Today" window.
//
// The run keeps the dates of every file it rewrites, so a file counts as modified today only
// when the user (or another program) changed it today. The search takes every visible file
// whose display name neither begins with "_" nor contains " copy" (any case) and whose
// modification date, in local time, is today; it descends into every folder, hidden ones
// included, except folders whose display name begins with "_".
#pragma once

#include <QDate>

#include <filesystem>
#include <string>
#include <vector>

namespace platform { class Platform; }

namespace TodaysFiles {

namespace fs = std::filesystem;

// The local date of the file's last modification in the time zone of `now` (invalid when the
// file cannot be examined).
QDate ModificationDate(const fs::path& file, const QDateTime& now);

// Every file below `folder` that passes the test, in name order (by code point), each folder's
// content in place of the folder, depth first. Folders are searched where they stand; linked
// folders are not followed, so a link back up cannot make the search endless. Items that
// cannot be read are passed over.
std::vector<fs::path> FindTodaysFiles(const fs::path& folder, const platform::Platform& platform);

struct Row {
  std::string text;  // the site-relative path: "∼/about/index.html"
  fs::path file;
};

// The rows the window lists for the compressed copy `copy`: one for every found file that
// still exists. None when `copy` is empty or gone.
std::vector<Row> TodaysFileRows(const fs::path& copy, const platform::Platform& platform);

}  // namespace TodaysFiles
