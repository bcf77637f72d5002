// The about window: the application's icon, name, purpose and version and the maker's notice.
// Typing is swallowed; Escape or File > "Close Window" closes it. One exists at a time.
//
//   WndAbout::ShowWindow(mGlobals::AppNameStr, mGlobals::VersionStr);
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;

class WndAbout : public QWidget {
  Q_OBJECT

 public:
  WndAbout(const QString& appName, const QString& version, QWidget* parent = nullptr);

  // Shows the about window, made on first use, or brings the open one to the front.
  static WndAbout* ShowWindow(const QString& appName, const QString& version);
  // The open about window, if any.
  static WndAbout* Current();

  // File > "Close Window": closes the window; the command is handled.
  bool _FileCloseWindow_Action();

  QLabel* Canvas1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* TextField1 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* TextField2 = nullptr;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  bool KeyDown(QObject* target, QEvent* event);

  static QPointer<WndAbout> current_;
};
