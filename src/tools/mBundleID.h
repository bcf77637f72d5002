// Opening a file in an application named by its bundle identifier, and the "Validator S.A.C"
// command that hands the selected page to the outside HTML validator of that name.
//
// The launch is `open -b ID URL` started directly with an argument list, never through a
// shell, so no character of a path (quote, "$", backtick, space) can be read as a command.
// The windows (main window, errors window) show the messages these functions return; nothing
// here touches Widgets.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform { class Platform; }

namespace mBundleID {

namespace fs = std::filesystem;

inline constexpr std::string_view kValidatorBundleID = "net.habilis.validator-sac";
// The validator's own preferences file directly in the Preferences folder: its presence is taken
// to mean that the validator is installed.
inline constexpr std::string_view kValidatorMarkerName = "net.habilis.validator-sac.plist";
inline constexpr std::string_view kValidatorDownloadPage = "https://habilis.net/validator-sac/";

// Captions of the Tools menu item.
inline constexpr std::string_view kValidatorMenuCaption = "Validator S.A.C...";
inline constexpr std::string_view kValidatorCaption = "Validator S.A.C";

// Messages: a title line, one carriage return, one sentence.
inline constexpr std::string_view kNotMarkupMessage = "Validator S.A.C\rThis is not an html or xml file!";
std::string NotInstalledMessage();  // "...need to be downloaded from " + download page
std::string OpenFailedMessage(std::string_view displayName);  // "Error! Open File: index.html"

// The file's location as a file URL, special characters percent-escaped.
//   "/tmp/my site/a.html" -> "file:///tmp/my%20site/a.html"
std::string FileUrl(const fs::path& file);

struct Command {
  std::string program;  // "/usr/bin/open" on macOS, "open" elsewhere
  std::vector<std::string> args;
};
// {"-b", bundleID, FileUrl(file)}
Command OpenCommand(std::string_view bundleID, const fs::path& file);

struct OpenResult {
  bool ran = false;     // false: the file was missing, nothing was started
  int status = 0;       // exit status of `open`; -1 when it could not be started
  std::string message;  // non-empty when the user must be told that it failed
};
// Opens `file` in the application `bundleID` and waits for `open` to finish. Does nothing for
// an empty or missing file. A non-zero exit status gives OpenFailedMessage.
OpenResult OpenAppAndFile(platform::Platform& platform, std::string_view bundleID, const fs::path& file);

bool IsValidatorInstalled(const platform::Platform& platform);

enum class ValidatorOutcome {
  NotInstalled,  // message, then open `pageToOpen` in the browser
  NotMarkup,     // message (also when nothing is selected)
  Vanished,      // the selected file is gone: nothing happens
  Opened,
  OpenFailed,    // message
};

struct ValidatorResult {
  ValidatorOutcome outcome = ValidatorOutcome::NotMarkup;
  std::string message;     // what to show first, when non-empty
  std::string pageToOpen;  // what to open in the browser after the message, when non-empty
};

// The Tools menu command "Validator S.A.C" for the window's selected file (empty: none).
ValidatorResult ValidatorSAC(platform::Platform& platform, const fs::path& selected);

// The menu item's caption for a newly selected row's file: `Validator S.A.C "index.html"`
// while the file exists, "Validator S.A.C" when it does not.
std::string ValidatorCaptionFor(const platform::Platform& platform, const fs::path& file);

}  // namespace mBundleID
