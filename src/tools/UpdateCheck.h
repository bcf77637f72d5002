// The decision half of the update check: reading a version text and the product's version file
// and telling whether the server names a newer release than the running one. No network here;
// the fetch lives in GuiUpdateFetch.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace updatecheck {

// The product's web server, the one place that names it. The version file and the download page
// lie below it.
inline constexpr char kProductServer[] = "http://www.trimora.net";
inline constexpr char kVersionFilePath[] = "/trimora/version.txt";
inline constexpr char kDownloadPagePath[] = "/trimora/download.html";
// Longest wait for the version file.
inline constexpr int kFetchTimeoutMs = 15000;

std::string VersionFileUrl();   // kProductServer + kVersionFilePath
std::string DownloadPageUrl();  // kProductServer + kDownloadPagePath

// A release: major, minor and bug-fix number, release stage and build number, compared in that
// order as numbers, so 1.10.0 (3.0) is newer than 1.9.0 (3.0).
struct Version {
  int major = 0;
  int minor = 0;
  int bug = 0;
  int stage = 0;
  int build = 0;
  bool operator==(const Version&) const = default;
};
// Earlier release first: the fields in order, each as a number.
bool operator<(const Version& a, const Version& b);
inline bool operator>(const Version& a, const Version& b) { return b < a; }

// Reads the version text form `major.minor.bug (stage.build)` with plain decimal numbers and one
// space before the bracket; white space (space, tab, CR, LF) around it is allowed. Anything else,
// or a number above 999999999, gives nothing.
//   "2.1.0 (3.4)" -> {2,1,0,3,4}     "2.1.0" -> nothing     "2.1.0 (3.4)x" -> nothing
std::optional<Version> ParseVersion(std::string_view text);

// The version text of a release: {2,1,0,3,4} -> "2.1.0 (3.4)".
std::string FormatVersion(const Version& v);

// True when both texts are versions and `remote` names a later release than `installed`.
// A text that does not parse never counts as newer.
bool isNewer(std::string_view installed, std::string_view remote);

enum class Verdict {
  Newer,            // the version file names a later release: offer the download page
  NotNewer,         // the same or an earlier release
  NotAVersionFile,  // empty, not starting with "#", or no version after it
};

// Judges the body of the version file against the running version: NUL characters are dropped,
// the body must begin with "#", and the rest must parse as a version.
//   ("1.9.0 (3.0)", "#1.10.0 (3.0)\n") -> Newer      ("1.9.0 (3.0)", "<html>") -> NotAVersionFile
Verdict Decide(std::string_view installed, std::string_view body);

}  // namespace updatecheck
