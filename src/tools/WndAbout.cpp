#include "tools/WndAbout.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

namespace {

constexpr int kWidth = 292;
constexpr int kHeight = 222;
constexpr int kContentWidth = 247;

QFont SmallSystemFont(const QWidget* w) {
  QFont f = w->font();
  if (f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * 0.85);
  return f;
}

void CentreOnMainScreen(QWidget* w) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r(QPoint(0, 0), w->size());
    r.moveCenter(screen->availableGeometry().center());
    w->move(r.topLeft());
  }
}

}  // namespace

QPointer<WndAbout> WndAbout::current_;

WndAbout::WndAbout(const QString& appName, const QString& version, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString());
  setFixedSize(kWidth, kHeight);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xdf, 0xdf, 0xdf));
  setPalette(pal);

  Canvas1 = new QLabel(this);
  Canvas1->setGeometry(111, 12, 64, 64);
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) Canvas1->setPixmap(icon.pixmap(64, 64));

  Label1 = new QLabel(appName, this);
  Label1->setGeometry(20, 88, kContentWidth, 20);
  Label1->setAlignment(Qt::AlignCenter);

  const QFont small = SmallSystemFont(this);
  Label2 = new QLabel(QStringLiteral("HTML, XML, CSS and JavaScript File Optimizing"), this);
  Label2->setGeometry(20, 109, kContentWidth, 20);
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setFont(small);

  // Read-only and frameless on the window's grey, so that the version can be selected and
  // copied but not edited.
  TextField1 = new QLineEdit(QStringLiteral("Version: ") + version, this);
  TextField1->setGeometry(20, 131, kContentWidth, 16);
  TextField1->setReadOnly(true);
  TextField1->setFrame(false);
  TextField1->setAlignment(Qt::AlignCenter);
  TextField1->setFont(small);
  TextField1->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));

  Label3 = new QLabel(QStringLiteral("Copyright \u00A9 2012-2024 The Trimora Authors\n"
                                     "All rights reserved.\n"
                                     "Made in Berlin, Germany"),
                      this);
  Label3->setGeometry(20, 159, kContentWidth, 43);
  Label3->setAlignment(Qt::AlignCenter);
  Label3->setFont(small);

  // Below the visible area: it only holds the keyboard focus, so no visible field shows a caret.
  TextField2 = new QLineEdit(this);
  TextField2->setGeometry(18, 255, 80, 22);

  TextField1->installEventFilter(this);
  TextField2->installEventFilter(this);
  CentreOnMainScreen(this);
}

WndAbout* WndAbout::Current() { return current_.data(); }

WndAbout* WndAbout::ShowWindow(const QString& appName, const QString& version) {
  WndAbout* w = current_.data();
  if (!w) {
    w = new WndAbout(appName, version);
    current_ = w;
  }
  w->show();
  w->raise();
  w->activateWindow();
  return w;
}

bool WndAbout::_FileCloseWindow_Action() {
  close();
  return true;
}

void WndAbout::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  TextField2->setFocus(Qt::OtherFocusReason);
}

bool WndAbout::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) TextField2->setFocus(Qt::ActiveWindowFocusReason);
  if (KeyDown(this, event)) return true;
  return QWidget::event(event);
}

bool WndAbout::eventFilter(QObject* watched, QEvent* event) {
  if (KeyDown(watched, event)) return true;
  return QWidget::eventFilter(watched, event);
}

// Every key typed into the window or its fields is consumed, so nothing can be typed; Escape
// closes. The line edits are kept from claiming shortcuts so that the menu's commands
// (Close Window, Copy) still reach them; Copy from the version line is let through.
bool WndAbout::KeyDown(QObject* target, QEvent* event) {
  if (event->type() == QEvent::InputMethod) return target != this;
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (target == TextField1 && key->matches(QKeySequence::Copy)) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    if (key->key() == Qt::Key_Escape) {
      event->accept();  // Escape is ours, not a shortcut's
      return true;
    }
    return target != this;
  }
  if (key->key() == Qt::Key_Escape) close();
  return true;
}
