// The terms window, shown modally at the first start of every version before the main window.
// "Agree" records the running version in "version.txt" so the window does not come back until
// the version changes; "Disagree" quits without writing anything. The two buttons are the only
// ways out: there is no close box, and Escape or a close request does nothing.
//
//   if (isNewInstallation && !WndLicenseTerms::ShowModal(version)) return;  // quitting
//   ... show the main window
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class WndLicenseTerms : public QDialog {
  Q_OBJECT

 public:
  // Writes one preference file (name, value) into the support folder.
  using WritePrefsFile = std::function<void(const QString& name, const QString& value)>;

  explicit WndLicenseTerms(QString version, QWidget* parent = nullptr);

  // Shows the window modally and returns when it has closed: true after Agree; false after
  // Disagree, when the application has been told to quit and nothing more should be opened.
  static bool ShowModal(const QString& version, QWidget* parent = nullptr);

  // Where Agree writes "version.txt"; by default the preference file in the support folder.
  void setWritePrefsFile(WritePrefsFile write) { writePrefsFile_ = std::move(write); }
  // What Disagree calls to end the application; by default QCoreApplication::quit.
  void setQuit(std::function<void()> quit) { quit_ = std::move(quit); }

  QPlainTextEdit* EditField1 = nullptr;
  QLabel* StaticText1 = nullptr;
  QPushButton* PushButton1 = nullptr;  // "Agree"
  QPushButton* PushButton2 = nullptr;  // "Disagree"

  // The terms of use shown in EditField1.
  static QString TermsText();

 signals:
  void agreed();     // after "version.txt" was written
  void disagreed();  // before the application is told to quit

 public slots:
  void PushButton1_Action();
  void PushButton2_Action();
  // Escape does not close the window.
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  const QString version_;
  WritePrefsFile writePrefsFile_;
  std::function<void()> quit_;
  bool decided_ = false;
};
