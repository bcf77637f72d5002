// A two-line message sheet (a heading and a message) that a window attaches to itself, drawn
// slightly transparent; it closes 400 milliseconds after OK, Return or Escape. One exists at a
// time.
//
//   WndNotiFication::ShowNotification(mainWindow, "Error!", "Brixel settings not found.");
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

class QLabel;
class QPushButton;

namespace CocoaDecalares {
// Sets the window's opacity, clamped to 0..1.
void SetAlphaValue(QWidget* window, float alpha);
}  // namespace CocoaDecalares

class WndNotiFication : public QDialog {
  Q_OBJECT

 public:
  explicit WndNotiFication(QWidget* parent = nullptr);

  // Shows the sheet over `parent` (window-modal, returns at once) and sets its texts. An open
  // notification is reused and brought to the front. The window deletes itself when it closes.
  static WndNotiFication* ShowNotification(QWidget* parent, const QString& heading,
                                           const QString& message);
  // The open notification, if any.
  static WndNotiFication* Current();

  // Puts the heading into Label1 and the message into Label2 and redraws at once.
  void SetNotificationMessage(const QString& heading, const QString& message);

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* PushButton1 = nullptr;
  QTimer Timer1;

 public slots:
  // Escape presses OK.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void PushButton1_Action();
  void Timer1_Action();

  static QPointer<WndNotiFication> current_;
};
