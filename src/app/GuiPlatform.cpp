#include "app/GuiPlatform.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

namespace gui {

void GuiPlatform::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

void GuiPlatform::SetClipboardText(const QString& text) {
  if (QClipboard* c = QGuiApplication::clipboard()) c->setText(text);
}

void GuiPlatform::Beep() { QApplication::beep(); }

std::optional<fs::path> GuiPlatform::ChooseFolder(QWidget* parent, const FolderDialog& dialog) {
  QFileDialog d(parent, dialog.title, ToQString(dialog.startIn));
  d.setFileMode(QFileDialog::Directory);
  d.setOption(QFileDialog::ShowDirsOnly, true);
  d.setLabelText(QFileDialog::Accept, dialog.acceptCaption);
  if (!dialog.prompt.trimmed().isEmpty()) d.setLabelText(QFileDialog::LookIn, dialog.prompt);
  if (parent) d.setWindowModality(Qt::WindowModal);
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
  return ToPath(d.selectedFiles().front());
}

void GuiPlatform::MessageBox(QWidget* parent, const QString& text) {
  // The heading line goes above, the rest below it, as the platform's alerts show them.
  const qsizetype cr = text.indexOf(QLatin1Char('\r'));
  QMessageBox box(parent);
  box.setIcon(QMessageBox::NoIcon);
  box.setText(cr < 0 ? text : text.left(cr));
  if (cr >= 0) box.setInformativeText(text.mid(cr + 1).replace(QLatin1Char('\r'), QLatin1Char('\n')));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

GuiPlatform& SystemGui() {
  static GuiPlatform instance;
  return instance;
}

std::optional<fs::path> RecordingGuiPlatform::ChooseFolder(QWidget*, const FolderDialog& dialog) {
  folderDialogs.push_back(dialog);
  if (folderAnswers.empty()) return std::nullopt;
  auto answer = folderAnswers.front();
  folderAnswers.pop_front();
  return answer;
}

QFont SmallSystemFont() {
  // The platform's small control font is about 11/13 of its regular one.
  QFont f = QApplication::font();
  if (f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * 11.0 / 13.0);
  return f;
}

}  // namespace gui
