// Shared set-up of the window tests: a platform whose folders lie in a temporary directory, a
// recording desktop, and an App with short timers that never ends the test process.
#pragma once

#include "TestPlatform.h"
#include "app/App.h"
#include "app/GuiPlatform.h"
#include "app/mFile.h"
#include "compress/WndCompress.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

// A test platform that can hold the copy worker at its first question, so that a test can
// press Cancel while the copy is certainly still under way.
class GatedPlatform : public testing_support::TestPlatform {
 public:
  std::string DisplayName(const fs::path& item) const override {
    if (std::this_thread::get_id() != mainThread_ && armed_.exchange(false)) {
      std::unique_lock lock(m_);
      reached_ = true;
      cv_.notify_all();
      cv_.wait(lock, [this] { return released_; });
    }
    return TestPlatform::DisplayName(item);
  }
  void Arm() {
    std::lock_guard lock(m_);
    reached_ = released_ = false;
    armed_ = true;
  }
  bool Reached() const {
    std::lock_guard lock(m_);
    return reached_;
  }
  void Release() {
    std::lock_guard lock(m_);
    released_ = true;
    cv_.notify_all();
  }

 private:
  const std::thread::id mainThread_ = std::this_thread::get_id();
  mutable std::atomic<bool> armed_{false};
  mutable std::mutex m_;
  mutable std::condition_variable cv_;
  mutable bool reached_ = false;
  bool released_ = false;
};

struct Harness {
  GatedPlatform platform;
  gui::RecordingGuiPlatform gui;
  int quits = 0;
  std::unique_ptr<App> app;

  AppConfig Config() {
    AppConfig c;
    c.startupDelayMs = 0;
    c.selectSiteDelayMs = 0;
    c.copyTimerMs = 5;
    c.updateCheck = false;
    c.runJobs = 2;
    c.quit = [this] { ++quits; };
    return c;
  }

  // A fresh application object (the previous one, if any, is gone first), not yet started.
  App& Make() {
    app.reset();
    app = std::make_unique<App>(platform, gui, Config());
    return *app;
  }

  fs::path Support() const { return platform.ApplicationDataFolder() / "Trimora"; }
  fs::path Desktop() const { return platform.DesktopFolder(); }
  std::string Pref(const std::string& name) const {
    std::error_code ec;
    return fs::exists(Support() / name, ec) ? testing_support::ReadFile(Support() / name) : "*";
  }
  void SetPref(const std::string& name, const std::string& value) {
    testing_support::WriteFile(Support() / name, value);
  }
  // "version.txt" holds the running version: no terms window at the next start.
  void MarkInstalled() { SetPref("version.txt", App::RunningVersionStr().toStdString()); }

  // Starts the application and waits for the main window.
  WndCompress* Start() {
    Make().Event_Open();
    if (!QTest::qWaitFor([this] { return app->MainWindow() && app->MainWindow()->isVisible(); }, 5000))
      return nullptr;
    return app->MainWindow();
  }
};

// Calls `answer` with the first modal widget of type T once it is shown.
template <typename T>
void AnswerModal(std::function<void(T*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      answer(w);
    }
  });
  timer->start();
}

// The TrimoraApplication the tests run in, so unhandled exceptions reach the handler. Qt's
// own event loop is used instead of GLib's, whose internal wake-ups between the update check's
// thread and its helper threads ThreadSanitizer cannot follow.
#define TRIMORA_GUI_TEST_MAIN(TestClass)                     \
  int main(int argc, char** argv) {                          \
    qputenv("QT_NO_GLIB", "1");                              \
    TrimoraApplication qapp(argc, argv);                     \
    TestClass test;                                          \
    return QTest::qExec(&test, argc, argv);                  \
  }
