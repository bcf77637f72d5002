// The application object: the start-up sequence with its two-second timer, the first
// windows (terms on a new installation, then the main window), following the Brixel editor's
// project when the application becomes active, the shutdown that empties "Tmp", the handler
// of exceptions that nothing caught, and the menu commands that belong to no window.
//
// App owns what the windows share: the application-wide values `mGlobals`, the option flags
// and window state `mPrefs`, the tag dictionaries, the menu bar and the windows themselves.
// Windows reach it through the App& they are made with; nothing here is a global, so a test
// makes an App with a TestPlatform and a RecordingGuiPlatform and short timers.
//
//   App app(platform::System(), gui::SystemGui());
//   app.Event_Open();   // the main window follows two seconds later
#pragma once

#include "app/GuiPlatform.h"
#include "app/MenuBar1.h"
#include "app/mPrefs.h"
#include "tagcheck/SyntaxCheck.h"

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform { class Platform; }
class WndCompress;
class WndFileErr;

// A text one thread writes and another reads.
class SharedText {
 public:
  void set(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
  }
  std::string get() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// The application-wide values. Everything but the two shared fields is used on the main
// thread only.
struct Globals {
  QString AppNameStr;                        // "Trimora"
  QString VersionStr;                        // "1.0.0 (3.0)"
  std::filesystem::path TheOriginalFolder;   // the selected site folder
  std::filesystem::path TheOptimizedFolder;  // the compressed copy of this run of the application
  SharedText isCopyDirectoryStr;             // written by the copy worker: "Copying Directory: img"
  std::atomic<bool> isUserCancelled{false};  // set by the progress sheet's Cancel
  bool isBrixelProject = false;
  bool isXHTMLType = true;
  bool isWndErrActive = false;               // the errors window is open
};

struct AppConfig {
  int startupDelayMs = 2000;   // the start-up timer
  int selectSiteDelayMs = 600; // "Select Site" waits this long before the dialog
  int copyTimerMs = 60;        // the copy timer's period
  bool updateCheck = true;     // the main window checks for a newer version as it opens
  QUrl versionFileUrl;         // empty: the product's server
  int runJobs = 0;             // files rewritten in parallel; 0: one per processor
  // Ends the application once the shutdown is done; by default QCoreApplication::quit.
  std::function<void()> quit;
};

// The product's pages and the bug-report mail.
namespace trimora_urls {
QUrl HelpPage();         // .../trimora/hlp.html
QUrl DownloadPage();     // .../trimora.html
QUrl VersionInfoPage();  // .../trimora.html#versioninfo
// "mailto:" + address + "?subject=[*Trimora Bug Report*]&body=Trimora <version>\r\nCompiler:
// 2012r1\r\n", with the subject and the body percent-encoded so the address is valid.
QUrl BugReportMail(const QString& version);
}  // namespace trimora_urls

class App : public QObject {
  Q_OBJECT

 public:
  App(platform::Platform& platform, gui::GuiPlatform& gui, AppConfig config = {});
  ~App() override;

  platform::Platform& Platform() { return platform_; }
  gui::GuiPlatform& Gui() { return gui_; }
  MenuBar1& MenuBar() { return *menuBar_; }
  const AppConfig& Config() const { return config_; }
  const SyntaxCheck::Dictionaries& Dictionaries() const { return dicts_; }

  Globals mGlobals;
  mPrefs::Prefs mPrefs;
  bool isNewInstallation = false;
  QTimer TimerOpenAPP;  // the start-up timer

  // "major.minor.bug (stage.build)": (2, 1, 0, 3, 4) -> "2.1.0 (3.4)".
  static QString BuildVersionStr(int major, int minor, int bug, int stage, int build);
  // The running version's text.
  static QString RunningVersionStr();

  // ---- Application events
  void Event_Open();
  void TimerOpenTheAPP_Action();
  void DoOpenTheAPP();
  void Event_Activate();
  bool Event_CancelClose();
  void Event_Close();
  // Writes the exception report to the error log; true: the application keeps running.
  bool Event_UnhandledException(const std::exception* e);
  void Event_EnableMenuItems();
  void CleanUpTMP();

  // The whole shutdown: "Tmp" emptied, the windows closed (the main window remembers its
  // site), "Tmp" emptied again, then the application ends. Runs once.
  void Quit();
  bool IsQuitting() const { return quitting_; }

  // ---- Menu commands of the application
  bool _FileAboutApp_Action();
  bool _FilePreferences_Action();
  bool _HelpTrimoraHelp_Action();
  bool _HelpTrimoraDownloadPage_Action();
  bool _HelpTrimoraVersionInfo_Action();
  bool _HelpSendBugreport_Action();
  bool _ToolsShowTodaysModifiedFiles_Action();
  bool _ToolsInsertMacroTool_Action();

  // ---- Windows
  WndCompress* MainWindow() const { return main_.get(); }
  // The errors window; made (and shown) when `make` and it is not open.
  WndFileErr* ErrorsWindow(bool make);
  // The inspector: open and following the selection?
  bool IsInspectorOpen() const { return mPrefs.isInspectorActive; }
  void ToggleInspector();
  // Hands `file` to the inspector when it is open.
  void UpdateInspector(const std::filesystem::path& file);
  // Closes the window of files modified today when it is open.
  void CloseTodaysFiles();
  // Opens `file` in the outside validator, from the window `from`.
  void OpenInValidator(QWidget* from, const std::optional<std::filesystem::path>& file);
  // The validator item's caption: "Validator S.A.C \"index.html\"", or "Validator S.A.C"
  // for no file.
  void SetValidatorCaption(const std::optional<std::filesystem::path>& file);

 signals:
  void mainWindowShown();

 private:
  platform::Platform& platform_;
  gui::GuiPlatform& gui_;
  AppConfig config_;
  SyntaxCheck::Dictionaries dicts_;
  std::unique_ptr<MenuBar1> menuBar_;
  std::unique_ptr<WndCompress> main_;
  QPointer<WndFileErr> errors_;
  bool quitting_ = false;
};

// The QApplication of the executable and of the window tests: an exception that escapes an
// event handler reaches the handler set here (App::Event_UnhandledException) instead of ending
// the application.
class TrimoraApplication : public QApplication {
 public:
  TrimoraApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  std::function<bool(const std::exception*)> onUnhandledException;
  bool notify(QObject* receiver, QEvent* event) override;
};
