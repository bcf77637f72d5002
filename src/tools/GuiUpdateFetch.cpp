#include "tools/GuiUpdateFetch.h"

#include "app/mError.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

namespace {

// A version file is a dozen bytes; anything much longer is not one and is not kept in memory.
constexpr qsizetype kMaxBody = 64 * 1024;

void OpenOnMainThread(const QUrl& url) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(app, [url] { QDesktopServices::openUrl(url); }, Qt::QueuedConnection);
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
  if (!thread1_) return;
  {
    std::lock_guard lock(loopMutex_);
    stopping_ = true;
    if (loop_) QMetaObject::invokeMethod(loop_, &QEventLoop::quit, Qt::QueuedConnection);
  }
  thread1_->wait();
}

bool UpdateFetch::isRunning() const { return thread1_ && thread1_->isRunning(); }

void UpdateFetch::start() {
  if (isRunning()) return;
  if (thread1_) thread1_->wait();  // a finished thread of an earlier check
  threadError_.store(false, std::memory_order_release);
  threadEnded_.store(false, std::memory_order_release);
  thread1_.reset(QThread::create([this] { Thread1_Run(); }));
  threadTimer_.start();
  thread1_->start(QThread::NormalPriority);
}

void UpdateFetch::Thread1_Run() {
  try {
    const QByteArray body = FetchVersionFile();
    {
      std::lock_guard lock(loopMutex_);
      if (stopping_) return;
    }
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
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                       QNetworkRequest::AlwaysNetwork);
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

  bool stopped = false;
  {
    std::lock_guard lock(loopMutex_);
    stopped = stopping_;
    if (!stopped) loop_ = &loop;
  }
  if (!stopped && !reply->isFinished()) loop.exec();
  {
    std::lock_guard lock(loopMutex_);
    loop_ = nullptr;
    stopped = stopping_;
  }
  deadline.stop();
  if (!reply->isFinished()) reply->abort();

  if (stopped || tooLong || timedOut || reply->error() != QNetworkReply::NoError) return {};
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
