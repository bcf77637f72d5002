// The desktop services the windows need beyond the platform layer: handing web pages, mail
// and files to the user's programs, the clipboard, the system beep, the folder-selection
// dialog and message boxes. Windows receive one GuiPlatform and never call the toolkit's
// services directly, so tests pass a RecordingGuiPlatform that records every request and
// answers every dialog without showing it.
//
//   gui::RecordingGuiPlatform gui;
//   gui.folderAnswers.push_back(site);       // the next folder dialog chooses `site`
//   window.PushButton1->click();             // ... the dialog is "shown" and answered
//   QCOMPARE(gui.messages.size(), 0u);
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QUrl>

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace gui {

namespace fs = std::filesystem;

// What the folder-selection dialog shows.
struct FolderDialog {
  QString acceptCaption;  // the action button: "Select Site Folder"
  QString title;
  QString prompt;
  fs::path startIn;       // the folder the dialog opens in
};

class GuiPlatform {
 public:
  virtual ~GuiPlatform() = default;

  // Opens a web address, a "mailto:" address or a file URL in the user's default program.
  // Reports nothing when the platform cannot open it.
  virtual void OpenUrl(const QUrl& url);
  virtual void SetClipboardText(const QString& text);
  virtual void Beep();
  // The folder the user chose, or nothing when the dialog was cancelled. `parent` is the
  // window the dialog is attached to as a sheet (may be null).
  virtual std::optional<fs::path> ChooseFolder(QWidget* parent, const FolderDialog& dialog);
  // A message box with an OK button; returns when the user dismissed it. A carriage return
  // separates the heading line from the rest: "Error!\rThis Directory is in Trash."
  virtual void MessageBox(QWidget* parent, const QString& text);
};

// The real desktop services.
GuiPlatform& SystemGui();

// Records every request; dialogs are answered from the queues (an empty queue cancels).
class RecordingGuiPlatform : public GuiPlatform {
 public:
  void OpenUrl(const QUrl& url) override { openedUrls.push_back(url); }
  void SetClipboardText(const QString& text) override { clipboard.push_back(text); }
  void Beep() override { ++beeps; }
  std::optional<fs::path> ChooseFolder(QWidget* parent, const FolderDialog& dialog) override;
  void MessageBox(QWidget* /*parent*/, const QString& text) override { messages.push_back(text); }

  std::vector<QUrl> openedUrls;
  std::vector<QString> clipboard;
  int beeps = 0;
  std::vector<QString> messages;
  std::vector<FolderDialog> folderDialogs;              // every dialog asked for
  std::deque<std::optional<fs::path>> folderAnswers;    // the next answers; nothing: Cancel
};

// ---- Shared look -----------------------------------------------------------------------------

// The platform's small system font (the lists, check boxes and buttons).
QFont SmallSystemFont();

// The stripes of the result list, the errors list and the list of files modified today:
// rows 0, 2, 4, ... light blue, rows 1, 3, 5, ... near white; selected rows keep the
// platform's highlight.
inline QColor StripeColor(int row) {
  return row % 2 == 0 ? QColor(237, 243, 254) : QColor(250, 250, 250);
}

// fs::path <-> QString without loss (UTF-8 file names).
inline QString ToQString(const fs::path& p) { return QString::fromStdString(p.string()); }
inline fs::path ToPath(const QString& s) { return fs::path(s.toStdString()); }

}  // namespace gui
