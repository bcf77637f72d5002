#include "tools/WndNotiFication.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace CocoaDecalares {

void SetAlphaValue(QWidget* window, float alpha) {
  if (!window) return;
  window->setWindowOpacity(std::clamp(alpha, 0.0f, 1.0f));
}

}  // namespace CocoaDecalares

QPointer<WndNotiFication> WndNotiFication::current_;

WndNotiFication::WndNotiFication(QWidget* parent) : QDialog(parent) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Sheet | Qt::CustomizeWindowHint);
  setFixedSize(387, 133);

  Label1 = new QLabel(this);
  Label1->setGeometry(20, 14, 347, 20);
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);

  Label2 = new QLabel(this);
  Label2->setGeometry(20, 40, 347, 50);
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  PushButton1 = new QPushButton(QStringLiteral("OK"), this);
  PushButton1->setGeometry(287, 98, 80, 24);
  PushButton1->setDefault(true);
  PushButton1->setAutoDefault(true);
  connect(PushButton1, &QPushButton::clicked, this, &WndNotiFication::PushButton1_Action);

  Timer1.setSingleShot(true);
  Timer1.setInterval(400);
  connect(&Timer1, &QTimer::timeout, this, &WndNotiFication::Timer1_Action);
}

WndNotiFication* WndNotiFication::Current() { return current_.data(); }

WndNotiFication* WndNotiFication::ShowNotification(QWidget* parent, const QString& heading,
                                                   const QString& message) {
  WndNotiFication* w = current_.data();
  if (!w) {
    w = new WndNotiFication(parent);
    current_ = w;
  }
  w->Timer1.stop();  // a new message waits for its own OK
  w->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  w->show();
  w->raise();
  w->activateWindow();
  w->SetNotificationMessage(heading, message);
  return w;
}

void WndNotiFication::SetNotificationMessage(const QString& heading, const QString& message) {
  Label1->setText(heading);
  Label2->setText(message);
  repaint();
}

void WndNotiFication::showEvent(QShowEvent* event) {
  CocoaDecalares::SetAlphaValue(this, 0.9f);
  QDialog::showEvent(event);
}

void WndNotiFication::reject() { PushButton1_Action(); }

void WndNotiFication::PushButton1_Action() {
  if (!Timer1.isActive()) Timer1.start();
}

void WndNotiFication::Timer1_Action() {
  Timer1.stop();
  accept();
}
