#include "tools/WndPreferences.h"

#include <QGuiApplication>
#include <QScreen>

QPointer<WndPreferences> WndPreferences::current_;

WndPreferences::WndPreferences(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Preferences"));
  setFixedSize(600, 400);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r(QPoint(0, 0), size());
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
}

WndPreferences* WndPreferences::Current() { return current_.data(); }

WndPreferences* WndPreferences::ShowWindow() {
  WndPreferences* w = current_.data();
  if (!w) {
    w = new WndPreferences;
    current_ = w;
  }
  w->show();
  w->raise();
  w->activateWindow();
  return w;
}
