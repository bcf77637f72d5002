// The empty preferences window. Every option lives in the main window, and the "Preferences"
// menu command stays disabled, so in practice this window is never shown.
#pragma once

#include <QPointer>
#include <QWidget>

class WndPreferences : public QWidget {
  Q_OBJECT

 public:
  explicit WndPreferences(QWidget* parent = nullptr);

  // Shows the window, made on first use, or brings the open one to the front.
  static WndPreferences* ShowWindow();
  static WndPreferences* Current();

 private:
  static QPointer<WndPreferences> current_;
};
