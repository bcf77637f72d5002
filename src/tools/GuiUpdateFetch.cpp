#include "tools/GuiUpdateFetch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "app/GuiPlatform.h"
#include "app/mError.h"

namespace {

// A version file is a dozen bytes; anything much longer is not one and is not kept in memory.
constexpr qsizetype kMaxBody = 64 * 1024;

void OpenOnMainThread(const QUrl& url) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(
      app, [url] { gui::SystemGui().OpenUrl(url); }, Qt::QueuedConnection);
}

}  // namespace

UpdateFetch::UpdateFetch(const platform::Platform& platform, QString installedVersion,
                         QObject* parent)
    : QObject(parent),
      platform_(platform),
      installedVersion_(std::move(installedVersion)),
      versionFileUrl_(QString::fromStdString(updatecheck::VersionFileUrl())),
      downloadPageUrl_(QString::fromStdString(updatecheck::DownloadPageUrl())),
      openUrl_(OpenOnMainThread) {
  threadTimer_.setInterval(60);
  connect(&threadTimer_, &QTimer::timeout, this, &UpdateFetch::ThreadTimer_Action);
}

UpdateFetch::~UpdateFetch() {
  threadTimer_.stop();
  stopping_.store(true, std::memory_order_release);
  if (thread1_.joinable()) thread1_.join();
}

bool UpdateFetch::isRunning() const { return running_.load(std::memory_order_acquire); }

void UpdateFetch::start() {
  if (isRunning()) return;
  if (thread1_.joinable()) thread1_.join();  // the finished thread of an earlier check
  threadError_.store(false, std::memory_order_release);
  threadEnded_.store(false, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  thread1_ = std::thread([this] {
    Thread1_Run();
    running_.store(false, std::memory_order_release);
  });
  threadTimer_.start();
}

void UpdateFetch::Thread1_Run() {
  try {
    const QByteArray body = FetchVersionFile();
    if (stopping_.load(std::memory_order_acquire)) return;
    const std::string installed = installedVersion_.toStdString();
    const auto verdict =
        updatecheck::Decide(installed, std::string_view(body.constData(), body.size()));
    verdict_.store(verdict, std::memory_order_release);
    if (verdict == updatecheck::Verdict::Newer && openUrl_) openUrl_(downloadPageUrl_);
    threadEnded_.store(true, std::memory_order_release);
  } catch (const std::exception& e) {
    mError::ReportException(platform_, e);
    threadError_.store(true, std::memory_order_release);
  } catch (...) {
    mError::ReportUnknownException(platform_);
    threadError_.store(true, std::memory_order_release);
  }
}

// One GET on this thread with a deadline for the whole answer. The body of a successful answer,
// or nothing when the request failed, timed out, was stopped or answered too much.
QByteArray UpdateFetch::FetchVersionFile() {
  QNetworkAccessManager manager;
  QNetworkRequest request(versionFileUrl_);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setTransferTimeout(static_cast<int>(timeout_.count()));
  std::unique_ptr<QNetworkReply> reply(manager.get(request));

  QByteArray body;
  bool tooLong = false;
  bool timedOut = false;
  QEventLoop loop;
  QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
    body += reply->read(kMaxBody + 1 - body.size());
    if (body.size() > kMaxBody) {
      tooLong = true;
      reply->abort();
    }
  });
  QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    timedOut = true;
    reply->abort();
  });
  deadline.start(timeout_);
  // The owner going away ends the wait early instead of keeping it for up to the time-out.
  QTimer stopWatch;
  QObject::connect(&stopWatch, &QTimer::timeout, &loop, [&] {
    if (stopping_.load(std::memory_order_acquire)) loop.quit();
  });
  stopWatch.start(50);

  if (!stopping_.load(std::memory_order_acquire) && !reply->isFinished()) loop.exec();
  deadline.stop();
  stopWatch.stop();
  if (!reply->isFinished()) reply->abort();

  if (stopping_.load(std::memory_order_acquire) || tooLong || timedOut ||
      reply->error() != QNetworkReply::NoError)
    return {};
  body += reply->read(kMaxBody + 1 - body.size());
  if (body.size() > kMaxBody) return {};
  return body;
}

void UpdateFetch::ThreadTimer_Action() {
  if (ThreadError()) {
    threadTimer_.stop();
    emit failed();
  } else if (ThreadEnded()) {
    threadTimer_.stop();
    emit ended();
  }
}
