#include "app/App.h"

#include "app/Platform.h"
#include "app/mError.h"
#include "app/mFile.h"
#include "compress/WndCompress.h"
#include "compress/mEncodings.h"
#include "tagcheck/WndFileErr.h"
#include "macro/WndMacro.h"
#include "tools/GuiValidator.h"
#include "tools/UpdateCheck.h"
#include "tools/WndAbout.h"
#include "tools/WndInspector.h"
#include "tools/WndLicenseTerms.h"
#include "tools/WndPreferences.h"
#include "tools/WndTodaysFiles.h"

#include <QAction>
#include <QFileInfo>
#include <QStringList>

namespace fs = std::filesystem;

namespace {

// The release stage of this build (3: final release) and its non-release build number; the
// three version numbers come from the build.
constexpr int kReleaseStage = 3;
constexpr int kNonReleaseVersion = 0;

constexpr char kBugReportAddress[] = "bugs@trimora.net";
constexpr char kCompilerName[] = "2012r1";

QUrl ProductPage(const char* path, const char* fragment = nullptr) {
  QUrl url(QString::fromLatin1(updatecheck::kProductServer) + QString::fromLatin1(path));
  if (fragment) url.setFragment(QString::fromLatin1(fragment));
  return url;
}

}  // namespace

namespace trimora_urls {

QUrl HelpPage() { return ProductPage("/trimora/hlp.html"); }
QUrl DownloadPage() { return ProductPage("/trimora.html"); }
QUrl VersionInfoPage() { return ProductPage("/trimora.html", "versioninfo"); }

QUrl BugReportMail(const QString& version) {
  const QString subject = QStringLiteral("[*") + QStringLiteral("Trimora Bug Report") + QStringLiteral("*]");
  const QString body = QStringLiteral("Trimora ") + version + QStringLiteral("\r\n") +
                       QStringLiteral("Compiler: ") + QString::fromLatin1(kCompilerName) +
                       QStringLiteral("\r\n");
  // Spaces, brackets and line breaks are not allowed in an address as they stand; encoded,
  // the mail program still shows exactly this subject and body.
  const QByteArray address = QByteArray("mailto:") + kBugReportAddress + "?subject=" +
                             QUrl::toPercentEncoding(subject) + "&body=" +
                             QUrl::toPercentEncoding(body);
  return QUrl::fromEncoded(address, QUrl::StrictMode);
}

}  // namespace trimora_urls

App::App(platform::Platform& platform, gui::GuiPlatform& gui, AppConfig config)
    : platform_(platform), gui_(gui), config_(std::move(config)), menuBar_(std::make_unique<MenuBar1>()) {
  if (!config_.quit) config_.quit = [] { QCoreApplication::quit(); };
  // The application ends through Quit() only: closing the terms window or the last tool
  // window must not end it.
  if (qApp) qApp->setQuitOnLastWindowClosed(false);

  TimerOpenAPP.setSingleShot(true);
  connect(&TimerOpenAPP, &QTimer::timeout, this, &App::TimerOpenTheAPP_Action);

  MenuBar1& bar = *menuBar_;
  bar.SetHandler(nullptr, "FileQuit", [this] { Quit(); return true; });
  bar.SetHandler(nullptr, "FileAboutApp", [this] { return _FileAboutApp_Action(); });
  bar.SetHandler(nullptr, "FilePreferences", [this] { return _FilePreferences_Action(); });
  bar.SetHandler(nullptr, "HelpTrimoraHelp", [this] { return _HelpTrimoraHelp_Action(); });
  bar.SetHandler(nullptr, "HelpTrimoraDownloadPage", [this] { return _HelpTrimoraDownloadPage_Action(); });
  bar.SetHandler(nullptr, "HelpTrimoraVersionInfo", [this] { return _HelpTrimoraVersionInfo_Action(); });
  bar.SetHandler(nullptr, "HelpSendBugreport", [this] { return _HelpSendBugreport_Action(); });
  bar.SetHandler(nullptr, "ToolsShowTodaysModifiedFiles", [this] { return _ToolsShowTodaysModifiedFiles_Action(); });
  bar.SetHandler(nullptr, "ToolsInsertMacroTool", [this] { return _ToolsInsertMacroTool_Action(); });
  bar.SetEnableHook([this] { Event_EnableMenuItems(); });

  // A quit that does not come through the menu (the session ends, the Dock's Quit) still
  // runs the shutdown.
  if (qApp) {
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
      if (!quitting_) {
        quitting_ = true;
        Event_CancelClose();
        if (main_) main_->close();
        Event_Close();
      }
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
      if (s == Qt::ApplicationActive) Event_Activate();
    });
  }
}

App::~App() {
  // Windows go before the menu bar they use.
  if (errors_) delete errors_.data();
  main_.reset();
  delete WndInspector::Current();
  delete WndTodaysFiles::Current();
  delete WndMacro::Current();
  delete WndAbout::Current();
  delete WndPreferences::Current();
}

QString App::BuildVersionStr(int major, int minor, int bug, int stage, int build) {
  return QStringLiteral("%1.%2.%3 (%4.%5)").arg(major).arg(minor).arg(bug).arg(stage).arg(build);
}

QString App::RunningVersionStr() {
  const QStringList parts = QString::fromLatin1(TRIMORA_VERSION).split(QLatin1Char('.'));
  auto part = [&](int i) { return i < parts.size() ? parts[i].toInt() : 0; };
  return BuildVersionStr(part(0), part(1), part(2), kReleaseStage, kNonReleaseVersion);
}

// ---- Start-up ---------------------------------------------------------------------------------

void App::Event_Open() {
  mGlobals.AppNameStr = QStringLiteral("Trimora");
  mGlobals.VersionStr = RunningVersionStr();
  mFile::InitAppSupportFolder(platform_);
  mPrefs::InitAppPreferences(mPrefs);
  CleanUpTMP();
  isNewInstallation = mPrefs::IsNewInstallation(mGlobals.VersionStr.toStdString());
  dicts_ = SyntaxCheck::LoadDictionaries(platform_.ResourcesFolder());
  if (QAction* prefs = menuBar_->Item("FilePreferences")) prefs->setEnabled(false);
  (void)mEncodings::EncArrayStr();  // builds the encodings table
  TimerOpenAPP.setInterval(config_.startupDelayMs);
  TimerOpenAPP.start();
}

void App::TimerOpenTheAPP_Action() {
  TimerOpenAPP.stop();
  DoOpenTheAPP();
}

void App::DoOpenTheAPP() {
  if (isNewInstallation) {
    WndLicenseTerms terms(mGlobals.VersionStr);
    bool disagreed = false;
    terms.setQuit([&disagreed] { disagreed = true; });
    const bool agreed = terms.exec() == QDialog::Accepted;
    if (!agreed || disagreed) {
      Quit();
      return;
    }
  }
  if (!main_) {
    main_ = std::make_unique<WndCompress>(*this);
    main_->Event_Open();
  }
  main_->show();
  main_->raise();
  main_->activateWindow();
  emit mainWindowShown();
}

void App::Event_Activate() {
  if (!mPrefs.WndTrimoraIsOpened || mPrefs.AlwaysOpenLastSite != 2 || !main_) return;
  // A compression under way keeps its site and its list.
  if (main_->IsBusy()) return;
  const QString before = gui::ToQString(mGlobals.TheOriginalFolder);
  main_->OpenLastBrixel();
  const fs::path now = mGlobals.TheOriginalFolder;
  std::error_code ec;
  if (!now.empty() && fs::exists(now, ec) &&
      gui::ToQString(now).compare(before, Qt::CaseInsensitive) != 0) {
    gui_.MessageBox(main_.get(), QStringLiteral("Site Changed to Original Folder:\r") +
                                     QString::fromStdString(platform_.DisplayName(now)));
  }
}

// ---- Shutdown ---------------------------------------------------------------------------------

bool App::Event_CancelClose() {
  // A run still writing would race with the emptying of "Tmp".
  if (main_) main_->FinishWork();
  CleanUpTMP();
  return false;
}

void App::Event_Close() { CleanUpTMP(); }

void App::CleanUpTMP() { mFile::CleanUpTMP(); }

void App::Quit() {
  if (quitting_) return;
  quitting_ = true;
  Event_CancelClose();
  // Every window closes; the main window remembers its site as it does.
  if (errors_) errors_->close();
  if (WndAbout* a = WndAbout::Current()) a->close();
  if (WndPreferences* p = WndPreferences::Current()) p->close();
  if (WndInspector* i = WndInspector::Current()) i->close();
  if (WndTodaysFiles* t = WndTodaysFiles::Current()) t->close();
  if (WndMacro* m = WndMacro::Current()) m->close();
  if (main_) main_->close();
  Event_Close();
  config_.quit();
}

bool App::Event_UnhandledException(const std::exception* e) {
  if (e) {
    mError::ReportException(platform_, *e);
  } else {
    mError::ReportUnknownException(platform_);
  }
  return true;
}

// ---- Menu -------------------------------------------------------------------------------------

void App::Event_EnableMenuItems() {
  if (QAction* prefs = menuBar_->Item("FilePreferences")) prefs->setEnabled(false);
  std::error_code ec;
  const fs::path& copy = mGlobals.TheOptimizedFolder;
  if (QAction* today = menuBar_->Item("ToolsShowTodaysModifiedFiles"))
    today->setEnabled(!copy.empty() && fs::exists(copy, ec));
}

bool App::_FileAboutApp_Action() {
  WndAbout* about = WndAbout::ShowWindow(mGlobals.AppNameStr, mGlobals.VersionStr);
  if (about && !menuBar_->HasHandler(about, "FileCloseWindow"))
    menuBar_->SetHandler(about, "FileCloseWindow", [about] { return about->_FileCloseWindow_Action(); });
  return true;
}

bool App::_FilePreferences_Action() {
  WndPreferences::ShowWindow();
  return true;
}

bool App::_HelpTrimoraHelp_Action() {
  gui_.OpenUrl(trimora_urls::HelpPage());
  return true;
}

bool App::_HelpTrimoraDownloadPage_Action() {
  gui_.OpenUrl(trimora_urls::DownloadPage());
  return true;
}

bool App::_HelpTrimoraVersionInfo_Action() {
  gui_.OpenUrl(trimora_urls::VersionInfoPage());
  return true;
}

bool App::_HelpSendBugreport_Action() {
  gui_.OpenUrl(trimora_urls::BugReportMail(mGlobals.VersionStr));
  return true;
}

bool App::_ToolsShowTodaysModifiedFiles_Action() {
  WndTodaysFiles::ShowWindow(platform_, mPrefs, mGlobals.TheOptimizedFolder);
  return true;
}

bool App::_ToolsInsertMacroTool_Action() {
  WndMacro::ShowWindow(platform_, gui_);
  return true;
}

// ---- Windows ----------------------------------------------------------------------------------

WndFileErr* App::ErrorsWindow(bool make) {
  if (!errors_ && make) {
    errors_ = new WndFileErr(*this);
    errors_->show();
  }
  return errors_.data();
}

void App::ToggleInspector() {
  WndInspector::Toggle(WndInspector::Context{platform_, mPrefs, *menuBar_, [this] {
                                               return main_ ? main_->GetSelectedFileItem()
                                                            : std::optional<fs::path>();
                                             }});
}

void App::UpdateInspector(const fs::path& file) {
  if (mPrefs.isInspectorActive) WndInspector::UpdateIfOpen(file);
}

void App::CloseTodaysFiles() {
  if (mPrefs.WndTodaysFilesActive) WndTodaysFiles::CloseWindow();
}

void App::OpenInValidator(QWidget* from, const std::optional<fs::path>& file) {
  gui::RunValidatorCommand(platform_, gui_, from, file);
}

void App::SetValidatorCaption(const std::optional<fs::path>& file) {
  if (file) {
    menuBar_->SetItemText("ToolsValidatorSAC",
                          QStringLiteral("Validator S.A.C \"") +
                              QString::fromStdString(platform_.DisplayName(*file)).replace(QLatin1Char('&'), QStringLiteral("&&")) +
                              QStringLiteral("\""));
  } else {
    menuBar_->SetItemText("ToolsValidatorSAC", QStringLiteral("Validator S.A.C"));
  }
}

// ---- Unhandled exceptions ----------------------------------------------------------------------

bool TrimoraApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    if (onUnhandledException && onUnhandledException(&e)) return true;
    throw;
  } catch (...) {
    if (onUnhandledException && onUnhandledException(nullptr)) return true;
    throw;
  }
}
