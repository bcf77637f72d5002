#include "compress/StartInfoWnd.h"

#include "app/GuiPlatform.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

ProgressWheel::ProgressWheel(QWidget* parent) : QWidget(parent) {
  timer_.setInterval(80);
  connect(&timer_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % 12;
    update();
  });
}

void ProgressWheel::showEvent(QShowEvent* event) {
  timer_.start();
  QWidget::showEvent(event);
}

void ProgressWheel::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

void ProgressWheel::paintEvent(QPaintEvent*) {
  // Twelve spokes, the one at the current step darkest, the ones behind it fading.
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const double side = std::min(width(), height());
  p.translate(width() / 2.0, height() / 2.0);
  const QColor base = palette().color(QPalette::WindowText);
  for (int i = 0; i < 12; ++i) {
    QColor c = base;
    c.setAlphaF(0.15 + 0.85 * ((12 + step_ - i) % 12 == 0 ? 1.0 : (12 - (12 + step_ - i) % 12) / 14.0));
    p.setPen(QPen(c, std::max(1.5, side / 10.0), Qt::SolidLine, Qt::RoundCap));
    p.save();
    p.rotate(i * 30.0);
    p.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.45));
    p.restore();
  }
}

StartInfoWnd::StartInfoWnd(QWidget* parent, std::atomic<bool>& cancelFlag)
    : QDialog(parent, Qt::Sheet), cancel_(cancelFlag) {
  setWindowModality(Qt::WindowModal);
  setFixedSize(466, 101);
  const QFont small = gui::SmallSystemFont();

  Label1 = new QLabel(QStringLiteral("Copying the Site to Desktop"), this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(20, 38, 426, 20);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setFont(small);

  ProgressWheel1 = new ProgressWheel(this);
  ProgressWheel1->setObjectName("ProgressWheel1");
  ProgressWheel1->setGeometry(430, 26, 16, 16);

  PushButton1 = new QPushButton(QStringLiteral("Cancel"), this);
  PushButton1->setObjectName("PushButton1");
  PushButton1->setGeometry(366, 61, 80, 18);
  PushButton1->setFont(small);
  PushButton1->setAutoDefault(false);
  PushButton1->setDefault(false);
  connect(PushButton1, &QPushButton::clicked, this, &StartInfoWnd::PushButton1_Action);
}

void StartInfoWnd::PushButton1_Action() { cancel_.store(true, std::memory_order_release); }

void StartInfoWnd::CloseSheet() {
  closing_ = true;
  QDialog::reject();  // hides the sheet (its own reject() is disabled)
}

void StartInfoWnd::closeEvent(QCloseEvent* event) {
  // The sheet stays until the copy has ended; a close box or the window manager cannot close it.
  if (closing_) {
    event->accept();
    QDialog::reject();
  } else {
    event->ignore();
  }
}
