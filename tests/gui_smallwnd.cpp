// The small windows (notification, about, preferences, terms) and the update check against a
// version file served from a local HTTP server on the loopback address.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "TestPlatform.h"
#include "app/mFile.h"
#include "tools/GuiUpdateFetch.h"
#include "tools/WndAbout.h"
#include "tools/WndLicenseTerms.h"
#include "tools/WndNotiFication.h"
#include "tools/WndPreferences.h"

namespace {

constexpr char kRunning[] = "1.9.0 (3.0)";

// Answers every request with one fixed HTTP response, or, when `silent`, takes the connection
// and never answers.
class LocalHttpServer : public QObject {
 public:
  LocalHttpServer(int status, QByteArray body, bool silent = false)
      : status_(status), body_(std::move(body)), silent_(silent) {
    connect(&server_, &QTcpServer::newConnection, this, &LocalHttpServer::Accept);
    QVERIFY(server_.listen(QHostAddress::LocalHost));
  }

  QUrl url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
  }
  // The request lines received so far ("GET /trimora/version.txt HTTP/1.1").
  QList<QByteArray> requests;
  int connections = 0;

 private:
  void Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      ++connections;
      auto buffer = std::make_shared<QByteArray>();
      connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        *buffer += socket->readAll();
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0) return;
        requests << buffer->left(buffer->indexOf("\r\n"));
        buffer->clear();
        if (silent_) return;
        const QByteArray reason = status_ == 200 ? "OK" : "Not Found";
        socket->write("HTTP/1.1 " + QByteArray::number(status_) + " " + reason +
                      "\r\nContent-Type: text/plain\r\nContent-Length: " +
                      QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
        socket->disconnectFromHost();
      });
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  }

  QTcpServer server_;
  int status_;
  QByteArray body_;
  bool silent_;
};

// True once a window that deletes itself on closing is gone. A close outside any event loop
// leaves its deferred deletion pending; deliver it.
bool IsGone(const QPointer<QWidget>& w) {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return w.isNull();
}

// The download pages the check asked to open; written from the check's thread.
struct OpenedPages {
  std::mutex mutex;
  std::vector<QUrl> urls;
  UpdateFetch::OpenUrl recorder() {
    return [this](const QUrl& u) {
      std::lock_guard lock(mutex);
      urls.push_back(u);
    };
  }
  std::vector<QUrl> taken() {
    std::lock_guard lock(mutex);
    return urls;
  }
};

}  // namespace

class SmallWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Loopback only, whatever the environment's proxy settings say.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
  }

  // ---- Update check -----------------------------------------------------------------------

  void updateCheck_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("opensDownloadPage");
    QTest::addColumn<int>("verdict");
    const int newer = int(updatecheck::Verdict::Newer);
    const int notNewer = int(updatecheck::Verdict::NotNewer);
    const int none = int(updatecheck::Verdict::NotAVersionFile);
    QTest::newRow("newer by number, older by text")
        << 200 << QByteArray("#1.10.0 (3.0)") << true << newer;
    QTest::newRow("newer with a line break")
        << 200 << QByteArray("#2.0.0 (3.0)\n") << true << newer;
    QTest::newRow("equal") << 200 << QByteArray("#1.9.0 (3.0)") << false << notNewer;
    QTest::newRow("equal with a line break")
        << 200 << QByteArray("#1.9.0 (3.0)\r\n") << false << notNewer;
    QTest::newRow("older") << 200 << QByteArray("#1.8.12 (3.0)") << false << notNewer;
    QTest::newRow("garbage") << 200 << QByteArray("\x01\xff garbage") << false << none;
    QTest::newRow("html page") << 200 << QByteArray("<html><body>moved</body></html>") << false
                               << none;
    QTest::newRow("no hash") << 200 << QByteArray("1.10.0 (3.0)") << false << none;
    QTest::newRow("empty") << 200 << QByteArray() << false << none;
    QTest::newRow("error page naming a newer version")
        << 404 << QByteArray("#9.0.0 (3.0)") << false << none;
    QTest::newRow("endless answer")
        << 200 << QByteArray("#9.0.0 (3.0)") + QByteArray(200000, ' ') << false << none;
  }

  void updateCheck() {
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, opensDownloadPage);
    QFETCH(int, verdict);
    testing_support::TestPlatform platform;
    LocalHttpServer server(status, body);
    OpenedPages opened;
    UpdateFetch check(platform, kRunning);
    check.setVersionFileUrl(server.url("/trimora/version.txt"));
    check.setDownloadPageUrl(server.url("/trimora/download.html"));
    check.setOpenUrl(opened.recorder());
    QSignalSpy ended(&check, &UpdateFetch::ended);
    QSignalSpy failed(&check, &UpdateFetch::failed);

    check.start();
    QVERIFY(!check.ThreadEnded());
    QVERIFY(ended.wait(10000));
    QCOMPARE(failed.count(), 0);
    QVERIFY(check.ThreadEnded());
    QVERIFY(!check.ThreadError());
    QCOMPARE(int(check.verdict()), verdict);
    QCOMPARE(server.requests, QList<QByteArray>{"GET /trimora/version.txt HTTP/1.1"});
    const std::vector<QUrl> expected = opensDownloadPage
                                           ? std::vector<QUrl>{server.url("/trimora/download.html")}
                                           : std::vector<QUrl>{};
    QCOMPARE(opened.taken(), expected);
    QVERIFY(!std::filesystem::exists(platform.DesktopFolder() / "Trimora.error"));
  }

  void updateCheckWithoutAnswerEndsAtTheTimeout() {
    testing_support::TestPlatform platform;
    LocalHttpServer server(200, "#9.0.0 (3.0)", /*silent=*/true);
    OpenedPages opened;
    UpdateFetch check(platform, kRunning);
    check.setVersionFileUrl(server.url("/trimora/version.txt"));
    check.setTimeout(std::chrono::milliseconds(300));
    check.setOpenUrl(opened.recorder());
    QSignalSpy ended(&check, &UpdateFetch::ended);
    check.start();
    QVERIFY(ended.wait(10000));
    QCOMPARE(server.requests.size(), 1);
    QVERIFY(!check.ThreadError());
    QCOMPARE(int(check.verdict()), int(updatecheck::Verdict::NotAVersionFile));
    QVERIFY(opened.taken().empty());
  }

  void updateCheckWithNoServerEndsQuietly() {
    testing_support::TestPlatform platform;
    QUrl unused;
    {
      LocalHttpServer server(200, "");
      unused = server.url("/trimora/version.txt");
    }  // nobody listens on that port any more
    OpenedPages opened;
    UpdateFetch check(platform, kRunning);
    check.setVersionFileUrl(unused);
    check.setOpenUrl(opened.recorder());
    QSignalSpy ended(&check, &UpdateFetch::ended);
    check.start();
    QVERIFY(ended.wait(10000));
    QVERIFY(opened.taken().empty());
  }

  void updateCheckFailureIsLoggedAndReported() {
    testing_support::TestPlatform platform;
    LocalHttpServer server(200, "#2.0.0 (3.0)");
    UpdateFetch check(platform, kRunning);
    check.setVersionFileUrl(server.url("/trimora/version.txt"));
    check.setOpenUrl([](const QUrl&) { throw std::runtime_error("no browser"); });
    QSignalSpy ended(&check, &UpdateFetch::ended);
    QSignalSpy failed(&check, &UpdateFetch::failed);
    check.start();
    QVERIFY(failed.wait(10000));
    QCOMPARE(ended.count(), 0);
    QVERIFY(check.ThreadError());
    QVERIFY(!check.ThreadEnded());
    const std::string log = testing_support::ReadFile(platform.DesktopFolder() / "Trimora.error");
    QVERIFY2(log.starts_with("std::runtime_error\rMesage: no browser\r< stack Info >\r"),
             log.c_str());
    QVERIFY(log.ends_with("< stack Info End >\r"));
  }

  void updateCheckStoppedWhileWaitingDoesNotWaitForTheTimeout() {
    testing_support::TestPlatform platform;
    LocalHttpServer server(200, "", /*silent=*/true);
    OpenedPages opened;
    auto check = std::make_unique<UpdateFetch>(platform, kRunning);
    check->setVersionFileUrl(server.url("/trimora/version.txt"));
    check->setOpenUrl(opened.recorder());
    check->start();
    QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, 10000);
    QElapsedTimer clock;
    clock.start();
    check.reset();
    QVERIFY(clock.elapsed() < 10000);  // far below the 15 s the check would otherwise wait
    QVERIFY(opened.taken().empty());
  }

  void updateCheckRunsAgainAfterItEnded() {
    testing_support::TestPlatform platform;
    LocalHttpServer server(200, "#2.0.0 (3.0)");
    OpenedPages opened;
    UpdateFetch check(platform, kRunning);
    check.setVersionFileUrl(server.url("/trimora/version.txt"));
    check.setOpenUrl(opened.recorder());
    QSignalSpy ended(&check, &UpdateFetch::ended);
    check.start();
    QVERIFY(ended.wait(10000));
    check.start();
    QVERIFY(ended.wait(10000));
    QCOMPARE(server.requests.size(), 2);
    QCOMPARE(opened.taken().size(), size_t(2));
  }

  // ---- Notification -----------------------------------------------------------------------

  void notificationClosesShortlyAfterOk_data() {
    QTest::addColumn<int>("key");  // 0: click OK
    QTest::newRow("OK") << 0;
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
  }

  void notificationClosesShortlyAfterOk() {
    QFETCH(int, key);
    QWidget owner;
    owner.show();
    WndNotiFication* w = WndNotiFication::ShowNotification(&owner, "Error!", "Settings missing.");
    QVERIFY(w->isVisible());
    QCOMPARE(w->size(), QSize(387, 133));
    QVERIFY(qAbs(w->windowOpacity() - 0.9) < 0.01);
    QCOMPARE(w->Label1->text(), QString("Error!"));
    QCOMPARE(w->Label2->text(), QString("Settings missing."));
    QCOMPARE(w->PushButton1->text(), QString("OK"));
    QVERIFY(w->PushButton1->isDefault());
    QCOMPARE(w->windowModality(), Qt::WindowModal);

    QSignalSpy gone(w, &QObject::destroyed);
    if (key == 0)
      QTest::mouseClick(w->PushButton1, Qt::LeftButton);
    else
      QTest::keyClick(w, Qt::Key(key));
    QVERIFY(w->isVisible());  // still showing: it closes 400 ms later
    QVERIFY(w->Timer1.isActive());
    QVERIFY(qAbs(w->windowOpacity() - 0.9) < 0.01);  // no fading
    QVERIFY(gone.wait(5000));
    QCOMPARE(WndNotiFication::Current(), nullptr);
  }

  void notificationExistsOnce() {
    QWidget owner;
    owner.show();
    WndNotiFication* first = WndNotiFication::ShowNotification(&owner, "Error!", "One.");
    WndNotiFication* second = WndNotiFication::ShowNotification(&owner, "Note", "Two.");
    QCOMPARE(second, first);
    QCOMPARE(second->Label1->text(), QString("Note"));
    QCOMPARE(second->Label2->text(), QString("Two."));
    QSignalSpy gone(first, &QObject::destroyed);
    first->close();  // a close request, like Escape, closes it shortly afterwards
    QVERIFY(gone.wait(5000));
  }

  // ---- About ------------------------------------------------------------------------------

  void aboutShowsNameAndVersion() {
    WndAbout* w = WndAbout::ShowWindow("Trimora", kRunning);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(WndAbout::ShowWindow("Trimora", kRunning), w);  // one about window
    QCOMPARE(w->size(), QSize(292, 222));
    QCOMPARE(w->windowTitle(), QString());
    QCOMPARE(w->palette().color(QPalette::Window), QColor(0xdf, 0xdf, 0xdf));
    QCOMPARE(w->Label1->text(), QString("Trimora"));
    QCOMPARE(w->Label2->text(), QString("HTML, XML, CSS and JavaScript File Optimizing"));
    QCOMPARE(w->TextField1->text(), QString("Version: 1.9.0 (3.0)"));
    QVERIFY(w->TextField1->isReadOnly());
    QCOMPARE(w->Label3->text().count('\n'), 2);
    QVERIFY(w->TextField2->geometry().top() >= w->height());  // out of sight
    QPointer<QWidget> guard(w);
    QVERIFY(w->_FileCloseWindow_Action());
    QVERIFY(IsGone(guard));
    QCOMPARE(WndAbout::Current(), nullptr);
  }

  void aboutSwallowsTypingAndClosesOnEscape() {
    WndAbout* w = WndAbout::ShowWindow("Trimora", kRunning);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(QApplication::focusWidget(), w->TextField2);
    QTest::keyClicks(w->TextField2, "abc");
    w->TextField1->setFocus();
    QTest::keyClicks(w->TextField1, "xyz");
    QTest::keyClick(w->TextField1, Qt::Key_Backspace);
    QTest::keyClicks(w, "q");
    QCOMPARE(w->TextField1->text(), QString("Version: 1.9.0 (3.0)"));
    QCOMPARE(w->TextField2->text(), QString());
    QVERIFY(w->isVisible());

    QPointer<QWidget> guard(w);
    QTest::keyClick(w->TextField2, Qt::Key_Escape);
    QVERIFY(IsGone(guard));
  }

  // ---- Preferences ------------------------------------------------------------------------

  void preferencesWindowIsEmpty() {
    WndPreferences* w = WndPreferences::ShowWindow();
    QCOMPARE(WndPreferences::ShowWindow(), w);
    QCOMPARE(w->windowTitle(), QString("Preferences"));
    QCOMPARE(w->size(), QSize(600, 400));
    QVERIFY(w->findChildren<QWidget*>().isEmpty());
    QPointer<QWidget> guard(w);
    w->close();
    QVERIFY(IsGone(guard));
  }

  // ---- Terms ------------------------------------------------------------------------------

  void termsWindowLayout() {
    WndLicenseTerms w(kRunning);
    QCOMPARE(w.windowTitle(), QString("Trimora License"));
    QCOMPARE(w.size(), QSize(600, 400));
    QVERIFY(!(w.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(w.PushButton1->text(), QString("Agree"));
    QCOMPARE(w.PushButton1->geometry(), QRect(485, 360, 80, 20));
    QVERIFY(w.PushButton1->isDefault());
    QCOMPARE(w.PushButton2->text(), QString("Disagree"));
    QCOMPARE(w.PushButton2->geometry(), QRect(374, 360, 99, 20));
    QCOMPARE(w.StaticText1->text(),
             QString("If you agree with the terms\nof this license, press \"Agree\"\n"
                     "to use the software. If\nyou do not agree, press\n\"Disagree\"."));
    QCOMPARE(w.EditField1->geometry(), QRect(175, 49, 390, 299));
    QVERIFY(w.EditField1->isReadOnly());
    QVERIFY(!w.EditField1->toPlainText().isEmpty());
  }

  void termsAgreeWritesVersionFile() {
    testing_support::TempDir support;
    mFile::SetAppSupportFolder(support.path());
    // The entry point the start-up calls; Return presses the default button, Agree.
    QTimer::singleShot(0, [] {
      QWidget* modal = QApplication::activeModalWidget();
      QVERIFY(modal);
      QTest::keyClick(modal, Qt::Key_Return);
    });
    QVERIFY(WndLicenseTerms::ShowModal(kRunning));
    QCOMPARE(testing_support::ReadFile(support.path() / "version.txt"), std::string(kRunning));
    mFile::SetAppSupportFolder({});
  }

  void termsDisagreeQuitsWithoutWriting() {
    std::vector<std::pair<QString, QString>> written;
    int quits = 0;
    WndLicenseTerms w(kRunning);
    w.setWritePrefsFile([&](const QString& n, const QString& v) { written.emplace_back(n, v); });
    w.setQuit([&] { ++quits; });
    QSignalSpy agreed(&w, &WndLicenseTerms::agreed);
    QSignalSpy disagreed(&w, &WndLicenseTerms::disagreed);
    QTimer::singleShot(0, &w, [&] { QTest::mouseClick(w.PushButton2, Qt::LeftButton); });
    QCOMPARE(w.exec(), int(QDialog::Rejected));
    QCOMPARE(quits, 1);
    QCOMPARE(disagreed.count(), 1);
    QCOMPARE(agreed.count(), 0);
    QVERIFY(written.empty());
  }

  void termsWindowLeavesOnlyByItsButtons() {
    std::vector<std::pair<QString, QString>> written;
    WndLicenseTerms w(kRunning);
    w.setWritePrefsFile([&](const QString& n, const QString& v) { written.emplace_back(n, v); });
    w.setQuit([] { QFAIL("quit"); });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(w.isVisible());
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QTest::mouseClick(w.PushButton1, Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(written, (std::vector<std::pair<QString, QString>>{{"version.txt", kRunning}}));
  }
};

int main(int argc, char** argv) {
  // The plain event dispatcher instead of glib's: glib is not built with ThreadSanitizer, and its
  // cross-thread wake-ups show up as false races between the check and Qt's network thread.
  qputenv("QT_NO_GLIB", "1");
  QApplication app(argc, argv);
  SmallWindowsTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "gui_smallwnd.moc"
