// The copy progress sheet: "Copying the Site to Desktop", the folder being copied, a spinning
// wheel and Cancel. Cancel only raises the shared cancel flag; the copy stops between two
// top-level items, and the main window's copy timer updates the label and closes the sheet.
#pragma once

#include <QDialog>
#include <QTimer>

#include <atomic>

class QLabel;
class QPushButton;

// An indeterminate progress indicator: a small wheel that spins while it is shown.
class ProgressWheel : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressWheel(QWidget* parent = nullptr);
  bool IsSpinning() const { return timer_.isActive(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTimer timer_;
  int step_ = 0;
};

class StartInfoWnd : public QDialog {
  Q_OBJECT

 public:
  // `cancelFlag` is the flag Cancel raises (the application's isUserCancelled).
  StartInfoWnd(QWidget* parent, std::atomic<bool>& cancelFlag);

  QLabel* Label1 = nullptr;
  ProgressWheel* ProgressWheel1 = nullptr;
  QPushButton* PushButton1 = nullptr;  // "Cancel"

  // Closes the sheet; the only way it goes (the copy timer calls it).
  void CloseSheet();

 public slots:
  void PushButton1_Action();
  // Escape neither cancels nor closes: Cancel is not the cancel button.
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::atomic<bool>& cancel_;
  bool closing_ = false;
};
