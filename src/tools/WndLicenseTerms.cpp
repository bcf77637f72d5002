#include "tools/WndLicenseTerms.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "app/mPrefs.h"

namespace {

// The preference file Agree writes; read at start-up to detect a new installation.
constexpr char kVersionFile[] = "version.txt";

// The preference file of that name in the support folder (the previous content goes into
// "Tmp"); without a support folder nothing is written.
void WriteIntoSupportFolder(const QString& name, const QString& value) {
  mFile::WritePrefsFile(name.toStdString(), value.toStdString());
}

}  // namespace

WndLicenseTerms::WndLicenseTerms(QString version, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      version_(std::move(version)),
      writePrefsFile_(WriteIntoSupportFolder),
      quit_([] { QCoreApplication::quit(); }) {
  setWindowTitle(QStringLiteral("Trimora License"));
  setModal(true);
  setFixedSize(600, 400);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r(QPoint(0, 0), size());
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
  const QFont verdana(QStringLiteral("Verdana"));

  EditField1 = new QPlainTextEdit(this);
  EditField1->setGeometry(175, 49, 390, 299);
  EditField1->setFont(verdana);
  EditField1->setReadOnly(true);
  EditField1->setFrameShape(QFrame::StyledPanel);
  EditField1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  EditField1->setPlainText(TermsText());

  StaticText1 = new QLabel(QStringLiteral("If you agree with the terms\n"
                                          "of this license, press \"Agree\"\n"
                                          "to use the software. If\n"
                                          "you do not agree, press\n"
                                          "\"Disagree\"."),
                           this);
  StaticText1->setGeometry(8, 21, 155, 78);
  StaticText1->setFont(verdana);
  StaticText1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  PushButton1 = new QPushButton(QStringLiteral("Agree"), this);
  PushButton1->setGeometry(485, 360, 80, 20);
  PushButton1->setDefault(true);
  PushButton1->setAutoDefault(true);
  connect(PushButton1, &QPushButton::clicked, this, &WndLicenseTerms::PushButton1_Action);

  PushButton2 = new QPushButton(QStringLiteral("Disagree"), this);
  PushButton2->setGeometry(374, 360, 99, 20);
  PushButton2->setAutoDefault(false);
  connect(PushButton2, &QPushButton::clicked, this, &WndLicenseTerms::PushButton2_Action);

  PushButton1->setFocus();
}

bool WndLicenseTerms::ShowModal(const QString& version, QWidget* parent) {
  WndLicenseTerms w(version, parent);
  return w.exec() == QDialog::Accepted;
}

void WndLicenseTerms::PushButton1_Action() {
  if (decided_) return;
  decided_ = true;
  if (writePrefsFile_) writePrefsFile_(QString::fromLatin1(kVersionFile), version_);
  emit agreed();
  accept();
}

void WndLicenseTerms::PushButton2_Action() {
  if (decided_) return;
  decided_ = true;
  emit disagreed();
  done(QDialog::Rejected);
  if (quit_) quit_();
}

void WndLicenseTerms::closeEvent(QCloseEvent* event) {
  if (decided_)
    QDialog::closeEvent(event);
  else
    event->ignore();
}

QString WndLicenseTerms::TermsText() {
  return QStringLiteral(
      "TRIMORA TERMS OF USE\n"
      "\n"
      "Please read these terms carefully before you use Trimora (\"the software\").\n"
      "\n"
      "1. Licence. You may install and use the software free of charge on any number of "
      "computers, for private and commercial work. You may pass on unchanged copies of the "
      "software, provided that no fee is charged for it.\n"
      "\n"
      "2. Restrictions. You may not sell, rent or lease the software, remove or alter its "
      "notices, or distribute modified copies of it.\n"
      "\n"
      "3. Your files. The software never changes the site folder you select; it writes a "
      "compressed copy to your Desktop. You remain responsible for checking the copy before "
      "you publish it and for keeping backups of your work.\n"
      "\n"
      "4. Network. Each time its main window opens, the software asks the product's web "
      "server for the number of the latest version.\n"
      "\n"
      "5. No warranty. The software is provided \"as is\", without warranty of any kind, "
      "express or implied, including the warranties of merchantability and fitness for a "
      "particular purpose.\n"
      "\n"
      "6. Limitation of liability. In no event shall the authors be liable for any damage, "
      "loss of data or loss of profit arising from the use of, or the inability to use, the "
      "software, even if they were advised of the possibility of such damage.\n"
      "\n"
      "7. Acceptance. By pressing \"Agree\" you accept these terms. If you do not accept "
      "them, press \"Disagree\"; the software will then quit.\n");
}
