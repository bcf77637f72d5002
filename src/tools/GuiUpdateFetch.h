// The background update check of the main window: fetches the product's version file on a
// thread of its own and, when it names a newer release, asks for the download page to be opened.
// Nothing is shown when the versions are equal, the server cannot be reached or the file is not
// a version file; a failure of the thread itself is logged and reported by failed().
//
//   auto* check = new UpdateFetch(platform, mGlobals::VersionStr, this);
//   check->setOpenUrl([](const QUrl& u) { /* hand u to the browser */ });
//   connect(check, &UpdateFetch::failed, this, [] { /* "Error in Thread!" */ });
//   check->start();
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "tools/UpdateCheck.h"

namespace platform {
class Platform;
}

// The message the main window shows when the check's thread failed.
inline constexpr char kUpdateThreadErrorMessage[] = "Error in Thread!";

class UpdateFetch : public QObject {
  Q_OBJECT

 public:
  // Called on the check's thread with the download page when a newer version was found; it
  // must be safe to call from any thread. The default posts the page to the main thread and
  // opens it there through the desktop services (gui::SystemGui).
  using OpenUrl = std::function<void(const QUrl&)>;

  // `installedVersion` is the running version text ("2.1.0 (3.4)"); failures of the thread are
  // appended to the error log on `platform`'s Desktop.
  UpdateFetch(const platform::Platform& platform, QString installedVersion,
              QObject* parent = nullptr);
  // Stops a check still waiting for the server and waits for its thread.
  ~UpdateFetch() override;

  // Where the version file is fetched from and which page is offered; both default to the
  // product's server. Set before start().
  void setVersionFileUrl(const QUrl& url) { versionFileUrl_ = url; }
  void setDownloadPageUrl(const QUrl& url) { downloadPageUrl_ = url; }
  // Longest wait for the whole answer; 15 seconds by default.
  void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  void setOpenUrl(OpenUrl openUrl) { openUrl_ = std::move(openUrl); }

  // Starts the check and the 60 ms timer that watches it; returns at once. A check that is
  // still running is not started a second time.
  void start();

  // The thread's outcome flags, written once by the thread: both false while it runs.
  bool ThreadEnded() const { return threadEnded_.load(std::memory_order_acquire); }
  bool ThreadError() const { return threadError_.load(std::memory_order_acquire); }
  // What the last ended check found (meaningful once ThreadEnded() is true).
  updatecheck::Verdict verdict() const { return verdict_.load(std::memory_order_acquire); }
  bool isRunning() const;

 signals:
  // From the watch timer on the owner's thread: the check ended normally ...
  void ended();
  // ... or its thread failed (the error log holds the report).
  void failed();

 private:
  void Thread1_Run();
  void ThreadTimer_Action();
  QByteArray FetchVersionFile();

  const platform::Platform& platform_;
  const QString installedVersion_;
  QUrl versionFileUrl_;
  QUrl downloadPageUrl_;
  std::chrono::milliseconds timeout_{updatecheck::kFetchTimeoutMs};
  OpenUrl openUrl_;

  // A plain thread rather than a QThread, so that joining it is an ordinary pthread join that
  // ThreadSanitizer can see; Qt adopts it for the event loop of the request.
  std::thread thread1_;
  std::atomic<bool> running_{false};
  QTimer threadTimer_;
  std::atomic<bool> threadEnded_{false};
  std::atomic<bool> threadError_{false};
  std::atomic<updatecheck::Verdict> verdict_{updatecheck::Verdict::NotAVersionFile};

  // Set by the destructor; the thread's wait for the server looks at it every 50 ms.
  std::atomic<bool> stopping_{false};
};
