// What Trimora remembers between runs, and the checks that refuse an unsuitable site folder.
//
// Every remembered setting is a one-line file directly in the support folder (mFile), whose
// whole content is the value: "version.txt", "Allwaysopen.txt", "htmllinebreaks.txt",
// "csslinebreaks.txt" and "Lastused.txt". A missing or unreadable file reads as "*", the mark
// of no value, and gives the setting's default. Writes go through mFile's safe write.
//
// The option flags of a run start from trimora::Options; only the two line-break options are
// remembered. The command line never uses these files: it starts from the defaults and its own
// flags.
#pragma once

#include "compress/Options.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform { class Platform; }

namespace mPrefs {

namespace fs = std::filesystem;

inline constexpr std::string_view kVersionFile = "version.txt";
inline constexpr std::string_view kAlwaysOpenFile = "Allwaysopen.txt";
inline constexpr std::string_view kHtmlLineBreaksFile = "htmllinebreaks.txt";
inline constexpr std::string_view kCssLineBreaksFile = "csslinebreaks.txt";
inline constexpr std::string_view kLastUsedFile = "Lastused.txt";

// Run-time options and window state. The application owns one; windows read and change it on
// the main thread.
struct Prefs {
  trimora::Options opts;             // the seven option flags
  int32_t AlwaysOpenLastSite = -1;   // -1 none, 1 the last site, 2 Brixel's last project
  bool WndTrimoraIsOpened = false;   // the main window has been activated once
  bool isInspectorActive = false;    // the inspector is open
  bool WndTodaysFilesActive = false; // the files-modified-today window is open
};

// Creates the support folder when it is missing (one level), sets the option start values
// and loads AlwaysOpenLastSite from "Allwaysopen.txt". Without a support folder the options
// still take their start values and AlwaysOpenLastSite stays -1.
void InitAppPreferences(Prefs& prefs);

// Reading rules of the files, whole-string comparisons ignoring letter case.
//   "1" -> 1, "2" -> 2, "0" / "*" / "2\n" / anything else -> -1
int32_t AlwaysOpenFromText(std::string_view text);
//   "1" -> true; "0", "*" and anything else -> false
bool FlagFromText(std::string_view text);
// Whether the stored version text differs from the running one (a missing file included).
bool IsNewInstallation(std::string_view runningVersion);

// The main window loads the two remembered options as it opens and writes each as it changes.
void LoadLineBreakOptions(Prefs& prefs);
void SetTrimLineBreaksHTML(Prefs& prefs, bool on);  // writes "1" or "0"
void SetTrimLineBreaksCSS(Prefs& prefs, bool on);
// 1 or 2, written as "1" or "2".
void SetAlwaysOpenLastSite(Prefs& prefs, int32_t which);
// The terms window stores the running version when the user agrees.
void StoreVersion(std::string_view version);

}  // namespace mPrefs

namespace mFile {

namespace fs = std::filesystem;

// The content of the support folder's file `name`, or "*" when it is missing or unreadable
// (or when there is no support folder).
std::string ReadPrefsFile(std::string_view name);
// Writes `value` as the whole content of the support folder's file `name`; silent.
void WritePrefsFile(std::string_view name, std::string_view value);

// "Brixel Editor/Settings" in the application-data folder when both exist; empty otherwise.
fs::path GetBrixelSettingsFolder(const platform::Platform& platform);

// The persistent folder reference of "Lastused.txt" and of Brixel's "ProjectFolder": an
// absolute path, taken whole. Nothing when it names no existing folder.
std::optional<fs::path> ResolveFolderReference(std::string_view text);
std::string FolderReference(const fs::path& folder);

// What a refusing check tells the user: "Error!", a carriage return and one sentence.
using Tell = std::function<void(const std::string& message)>;
inline constexpr std::string_view kAlreadyCompressedMessage = "Error!\rThis Directory is alreday compressed.";
inline constexpr std::string_view kInTrashMessage = "Error!\rThis Directory is in Trash.";

// True, after telling the user, when the folder's name contains " Compressed" (any case):
// "shop compressed" is refused, "shopCompressed" is not.
bool isAlreadyCompressed(const fs::path& folder, const Tell& tell = {});

// True, after telling the user, when the folder is a Trash folder or lies inside one: the
// platform's Trash folders, the Trash of the folder's volume, and on Linux every freedesktop
// volume trash (".Trash-UID", ".Trash/UID"). A folder merely named "Trashy" is fine.
bool isInTrash(const fs::path& folder, const platform::Platform& platform, const Tell& tell = {});

}  // namespace mFile
