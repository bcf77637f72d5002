#include "tools/mBundleID.h"

#include "app/Platform.h"
#include "app/mFile.h"

#include <QString>
#include <QUrl>

namespace mBundleID {

std::string NotInstalledMessage() {
  return "Validator S.A.C\rValidator S.A.C application need to be downloaded from " +
         std::string(kValidatorDownloadPage);
}

std::string OpenFailedMessage(std::string_view displayName) {
  return "Error! Open File: " + std::string(displayName);
}

std::string FileUrl(const fs::path& file) {
  const QString path = QString::fromStdString(fs::absolute(file).lexically_normal().string());
  return QUrl::fromLocalFile(path).toEncoded().toStdString();
}

Command OpenCommand(std::string_view bundleID, const fs::path& file) {
#ifdef __APPLE__
  // By its full path, so that no other "open" on the search path is started.
  Command c{"/usr/bin/open", {}};
#else
  Command c{"open", {}};
#endif
  c.args = {"-b", std::string(bundleID), FileUrl(file)};
  return c;
}

OpenResult OpenAppAndFile(platform::Platform& platform, std::string_view bundleID, const fs::path& file) {
  OpenResult r;
  std::error_code ec;
  if (file.empty() || !fs::exists(file, ec)) return r;
  const Command c = OpenCommand(bundleID, file);
  r.ran = true;
  r.status = platform.RunProgram(c.program, c.args);
  if (r.status != 0) r.message = OpenFailedMessage(platform.DisplayName(file));
  return r;
}

bool IsValidatorInstalled(const platform::Platform& platform) {
  std::error_code ec;
  const fs::path prefs = platform.PreferencesFolder();
  return !prefs.empty() && fs::is_directory(prefs, ec) && fs::exists(prefs / kValidatorMarkerName, ec);
}

ValidatorResult ValidatorSAC(platform::Platform& platform, const fs::path& selected) {
  ValidatorResult r;
  if (!IsValidatorInstalled(platform)) {
    r.outcome = ValidatorOutcome::NotInstalled;
    r.message = NotInstalledMessage();
    r.pageToOpen = std::string(kValidatorDownloadPage);
    return r;
  }
  if (selected.empty() || !mFile::isHTML(selected)) {
    r.outcome = ValidatorOutcome::NotMarkup;
    r.message = std::string(kNotMarkupMessage);
    return r;
  }
  std::error_code ec;
  if (!fs::exists(selected, ec)) {
    r.outcome = ValidatorOutcome::Vanished;
    return r;
  }
  const OpenResult opened = OpenAppAndFile(platform, kValidatorBundleID, selected);
  if (!opened.ran)
    r.outcome = ValidatorOutcome::Vanished;
  else
    r.outcome = opened.message.empty() ? ValidatorOutcome::Opened : ValidatorOutcome::OpenFailed;
  r.message = opened.message;
  return r;
}

std::string ValidatorCaptionFor(const platform::Platform& platform, const fs::path& file) {
  std::error_code ec;
  if (file.empty() || !fs::exists(file, ec)) return std::string(kValidatorCaption);
  return std::string(kValidatorCaption) + " \"" + platform.DisplayName(file) + "\"";
}

}  // namespace mBundleID
