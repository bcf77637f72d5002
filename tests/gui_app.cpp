// The application object: start-up with the terms window, activation following the Brixel
// editor, shutdown, unhandled exceptions, and the menu bar with its enabling rules and the
// application's own commands.
#include "gui_support.h"

#include "app/MenuBar1.h"
#include "compress/WndCompress.h"
#include "tagcheck/WndFileErr.h"
#include "tools/WndAbout.h"
#include "tools/WndLicenseTerms.h"

#include "app/GuiFileList.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <stdexcept>

using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class Thrower : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("boom");
    return QObject::event(e);
  }
};

bool Enabled(App& app, const char* item) {
  app.MenuBar().UpdateEnabling();
  return app.MenuBar().Item(item)->isEnabled();
}

}  // namespace

class GuiAppTest : public QObject {
  Q_OBJECT

 private slots:
  void versionTextHasItsForm() {
    QCOMPARE(App::BuildVersionStr(2, 1, 0, 3, 4), QStringLiteral("2.1.0 (3.4)"));
    QVERIFY(QRegularExpression(R"(^\d+\.\d+\.\d+ \(\d+\.\d+\)$)").match(App::RunningVersionStr()).hasMatch());
  }

  void startupWaitsTwoSecondsWithNoWindow() {
    Harness h;
    AppConfig c = h.Config();
    c.startupDelayMs = AppConfig().startupDelayMs;
    App app(h.platform, h.gui, c);
    app.Event_Open();
    QCOMPARE(app.mGlobals.AppNameStr, QStringLiteral("Trimora"));
    QVERIFY(app.TimerOpenAPP.isActive());
    QVERIFY(app.TimerOpenAPP.isSingleShot());
    QCOMPARE(app.TimerOpenAPP.interval(), 2000);
    QVERIFY(!app.MainWindow());
    QVERIFY(fs::is_directory(h.Support()));  // made by the preferences at start-up
    QVERIFY(!app.MenuBar().Item("FilePreferences")->isEnabled());
    app.TimerOpenAPP.stop();
  }

  void firstStartShowsTermsThenMainWindowAndAgreeStoresVersion() {
    Harness h;
    App& app = h.Make();
    bool termsShown = false;
    AnswerModal<WndLicenseTerms>([&](WndLicenseTerms* w) {
      termsShown = true;
      QVERIFY(!app.MainWindow());  // the terms come before the main window
      w->PushButton1->click();
    });
    app.Event_Open();
    QVERIFY(app.isNewInstallation);
    QTRY_VERIFY(app.MainWindow() && app.MainWindow()->isVisible());
    QVERIFY(termsShown);
    QCOMPARE(QString::fromStdString(h.Pref("version.txt")), app.mGlobals.VersionStr);
    QCOMPARE(h.quits, 0);

    // The next start of the same version goes straight to the main window.
    QVERIFY(h.Start());
    QVERIFY(!h.app->isNewInstallation);

    // A deleted "version.txt", or another version, brings the terms back.
    fs::remove(h.Support() / "version.txt");
    QVERIFY(mPrefs::IsNewInstallation(App::RunningVersionStr().toStdString()));
    h.SetPref("version.txt", "0.9.0 (3.0)");
    QVERIFY(mPrefs::IsNewInstallation(App::RunningVersionStr().toStdString()));
  }

  void disagreeQuitsWithoutWriting() {
    Harness h;
    App& app = h.Make();
    AnswerModal<WndLicenseTerms>([](WndLicenseTerms* w) { w->PushButton2->click(); });
    app.Event_Open();
    QTRY_COMPARE(h.quits, 1);
    QVERIFY(!app.MainWindow());
    QCOMPARE(h.Pref("version.txt"), std::string("*"));
  }

  void quitEmptiesTmpAndRemembersTheSite() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = h.platform.DocumentsFolder() / "shop";
    fs::create_directories(site);
    WndCompress* w = h.Start();
    QVERIFY(w);
    h.gui.folderAnswers.push_back(site);
    w->SelectTheFolder();
    QCOMPARE(w->Label1->text(), gui::ToQString(site));
    WriteFile(h.Support() / "Tmp" / "left.txt", "x");
    h.app->Quit();
    QCOMPARE(h.quits, 1);
    QVERIFY(fs::is_empty(h.Support() / "Tmp"));
    QCOMPARE(h.Pref("Lastused.txt"), mFile::FolderReference(site));
    h.app->Quit();  // once only
    QCOMPARE(h.quits, 1);

    // Closing the main window by other means quits the application too.
    w = h.Start();
    QVERIFY(w);
    w->close();
    QTRY_COMPARE(h.quits, 2);
  }

  void unhandledExceptionIsLoggedAndTheApplicationGoesOn() {
    Harness h;
    App& app = h.Make();
    auto* qapp = static_cast<TrimoraApplication*>(qApp);
    qapp->onUnhandledException = [&app](const std::exception* e) { return app.Event_UnhandledException(e); };
    Thrower t;
    QEvent ev(QEvent::User);
    QCoreApplication::sendEvent(&t, &ev);
    qapp->onUnhandledException = {};
    const std::string log = ReadFile(h.Desktop() / "Trimora.error");
    QVERIFY2(log.find("std::runtime_error\r") == 0, log.c_str());
    QVERIFY(log.find("\rMesage: boom\r< stack Info >\r") != std::string::npos);
    QVERIFY(log.size() >= 2 && log.substr(log.size() - 19) == "< stack Info End >\r");
  }

  void activationFollowsTheBrixelProject() {
    Harness h;
    h.MarkInstalled();
    const fs::path a = h.platform.DocumentsFolder() / "siteA";
    const fs::path b = h.platform.DocumentsFolder() / "siteB";
    fs::create_directories(a);
    fs::create_directories(b);
    const fs::path project = h.platform.ApplicationDataFolder() / "Brixel Editor" / "Settings" / "ProjectFolder";
    WriteFile(project, a.string());
    h.SetPref("Allwaysopen.txt", "2");
    WndCompress* w = h.Start();
    QVERIFY(w);
    App& app = *h.app;
    QVERIFY(w->RadioButton2->isChecked());
    QCOMPARE(w->Label1->text(), gui::ToQString(a));
    app.mPrefs.WndTrimoraIsOpened = true;

    // No change: no message, but the list is emptied since the project file was read.
    w->Rows->AddRow({"∼/index.html", "3 bytes"});
    app.Event_Activate();
    QVERIFY(h.gui.messages.empty());
    QCOMPARE(w->Rows->RowCount(), 0);

    WriteFile(project, b.string());
    app.Event_Activate();
    QCOMPARE(h.gui.messages.size(), size_t(1));
    QCOMPARE(h.gui.messages[0], QStringLiteral("Site Changed to Original Folder:\rsiteB"));
    QCOMPARE(app.mGlobals.TheOriginalFolder, b);

    // With the Trimora option, activation leaves everything alone.
    w->RadioButton1->setChecked(true);
    WriteFile(project, a.string());
    app.Event_Activate();
    QCOMPARE(h.gui.messages.size(), size_t(1));
    QCOMPARE(app.mGlobals.TheOriginalFolder, b);
  }

  void mainWindowChecksForANewerVersionAsItOpens() {
    // A local server whose version file names a later release.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
      QTcpSocket* s = server.nextPendingConnection();
      QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
        s->readAll();
        const QByteArray body = "#99.0.0 (3.0)";
        s->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\n\r\n" + body);
        s->disconnectFromHost();
      });
    });
    Harness h;
    h.MarkInstalled();
    AppConfig c = h.Config();
    c.updateCheck = true;
    c.versionFileUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/trimora/version.txt").arg(server.serverPort()));
    App app(h.platform, h.gui, c);
    app.Event_Open();
    QTRY_VERIFY_WITH_TIMEOUT(!h.gui.openedUrls.empty(), 10000);
    QCOMPARE(h.gui.openedUrls[0].path(), QStringLiteral("/trimora/download.html"));
    QVERIFY(h.gui.messages.empty());
  }

  void menuEnablingFollowsTheFrontWindow() {
    Harness h;
    h.MarkInstalled();
    WndCompress* w = h.Start();
    QVERIFY(w);
    App& app = *h.app;
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));

    QVERIFY(!Enabled(app, "FileCloseWindow"));  // the main window cannot be closed
    QVERIFY(!Enabled(app, "FilePreferences"));
    QVERIFY(!Enabled(app, "ToolsShowTodaysModifiedFiles"));
    for (const char* item : {"ToolsShowInspector", "ToolsValidatorSAC", "FileQuit", "FileAboutApp",
                             "HelpTrimoraHelp", "HelpSendBugreport", "ToolsInsertMacroTool"})
      QVERIFY2(Enabled(app, item), item);

    // "Show Todays Modified Files..." follows the compressed copy on the Desktop.
    const fs::path copy = h.Desktop() / "shop Compressed";
    fs::create_directories(copy);
    app.mGlobals.TheOptimizedFolder = copy;
    QVERIFY(Enabled(app, "ToolsShowTodaysModifiedFiles"));
    fs::remove_all(copy);
    QVERIFY(!Enabled(app, "ToolsShowTodaysModifiedFiles"));

    // The errors window in front: Close Window and the validator, but not the inspector.
    WndFileErr* err = app.ErrorsWindow(true);
    err->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(err));
    QVERIFY(Enabled(app, "FileCloseWindow"));
    QVERIFY(Enabled(app, "ToolsValidatorSAC"));
    QVERIFY(!Enabled(app, "ToolsShowInspector"));
    QVERIFY(!Enabled(app, "FilePreferences"));
    QVERIFY(app.MenuBar().Trigger("FileCloseWindow"));
    QTRY_VERIFY(!app.ErrorsWindow(false));
    QVERIFY(!app.mGlobals.isWndErrActive);

    // The about window closes with Close Window too.
    QVERIFY(app.MenuBar().Trigger("FileAboutApp"));
    WndAbout* about = WndAbout::Current();
    QVERIFY(about);
    about->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(about));
    QVERIFY(Enabled(app, "FileCloseWindow"));
    QVERIFY(app.MenuBar().Trigger("FileCloseWindow"));
    QTRY_VERIFY(!WndAbout::Current() || !WndAbout::Current()->isVisible());

    // The edit items act on the focused text control.
    QLineEdit edit;
    edit.setText("abc");
    edit.show();
    edit.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&edit));
    edit.setFocus();
    edit.deselect();
    QTRY_COMPARE(QApplication::focusWidget(), &edit);
    QVERIFY(!Enabled(app, "EditCopy"));
    QVERIFY(Enabled(app, "EditSelectAll"));
    QVERIFY(app.MenuBar().Trigger("EditSelectAll"));
    QCOMPARE(edit.selectedText(), QStringLiteral("abc"));
    QVERIFY(Enabled(app, "EditCut"));
    QVERIFY(app.MenuBar().Trigger("EditClear"));
    QCOMPARE(edit.text(), QString());
    QVERIFY(Enabled(app, "EditUndo"));
  }

  void applicationMenuItemsTakeThePlatformRoles() {
    MenuBar1 bar;
    QCOMPARE(bar.Item("FileAboutApp")->menuRole(), QAction::AboutRole);
    QCOMPARE(bar.Item("FilePreferences")->menuRole(), QAction::PreferencesRole);
    QCOMPARE(bar.Item("FileQuit")->menuRole(), QAction::QuitRole);
    QCOMPARE(bar.Item("HelpTrimoraHelp")->menuRole(), QAction::NoRole);
    QCOMPARE(bar.Menu("HelpMenu")->title(), QStringLiteral(" Help"));
    QVERIFY(bar.Item("UntitledSeparator")->isSeparator());
    QCOMPARE(bar.ItemText("ToolsValidatorSAC"), QStringLiteral("Validator S.A.C..."));
  }

  void helpItemsOpenTheProductPages() {
    Harness h;
    App& app = h.Make();
    const struct {
      const char* item;
      const char* path;
      const char* fragment;
    } cases[] = {
        {"HelpTrimoraHelp", "/trimora/hlp.html", ""},
        {"HelpTrimoraDownloadPage", "/trimora.html", ""},
        {"HelpTrimoraVersionInfo", "/trimora.html", "versioninfo"},
    };
    for (const auto& c : cases) {
      h.gui.openedUrls.clear();
      QVERIFY(app.MenuBar().Trigger(c.item));
      QCOMPARE(h.gui.openedUrls.size(), size_t(1));
      QCOMPARE(h.gui.openedUrls[0].path(), QString::fromLatin1(c.path));
      QCOMPARE(h.gui.openedUrls[0].fragment(), QString::fromLatin1(c.fragment));
    }
  }

  void bugReportMailIsAValidAddressWithTheSubjectAndBody() {
    Harness h;
    App& app = h.Make();
    app.mGlobals.VersionStr = QStringLiteral("2.1.0 (3.4)");
    QVERIFY(app.MenuBar().Trigger("HelpSendBugreport"));
    QCOMPARE(h.gui.openedUrls.size(), size_t(1));
    const QUrl url = h.gui.openedUrls[0];
    QVERIFY(url.isValid());
    QCOMPARE(url.scheme(), QStringLiteral("mailto"));
    const QByteArray encoded = url.toEncoded();
    for (char c : {' ', '\r', '\n', '[', ']'}) QVERIFY2(!encoded.contains(c), encoded.constData());
    const QUrlQuery q(url);
    QCOMPARE(q.queryItemValue("subject", QUrl::FullyDecoded), QStringLiteral("[*Trimora Bug Report*]"));
    QCOMPARE(q.queryItemValue("body", QUrl::FullyDecoded),
             QStringLiteral("Trimora 2.1.0 (3.4)\r\nCompiler: 2012r1\r\n"));
  }
};

TRIMORA_GUI_TEST_MAIN(GuiAppTest)
#include "gui_app.moc"
