// The macro editor "Trimora Macro Editor": a small scratch window floating above every other
// window. Return, Enter or Tab expands the abbreviation before the caret; the window then shows
// the markup (which is also on the clipboard) and clears itself five seconds later. The
// contextual menu offers the user's shortcuts file, read each time the window opens.
//
//   WndMacro::ShowWindow(app.Platform(), app.Gui());   // Tools > "Macro Editor Tool"
#pragma once

#include "macro/mMacro.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class QKeyEvent;
class QMenu;
class QPlainTextEdit;
class QTimer;

namespace gui { class GuiPlatform; }
namespace platform { class Platform; }

class WndMacro : public QWidget {
  Q_OBJECT

 public:
  // The clearing delay after an expansion.
  static constexpr int kClearDelayMs = 5000;

  // `shortCuts` is the list that outlives the window (AppShortCuts() in the application).
  WndMacro(platform::Platform& platform, gui::GuiPlatform& gui, mMacro::ShortCuts& shortCuts,
           QWidget* parent = nullptr);

  // Shows the macro editor, made on first use (reading the shortcuts file), or brings the open
  // one to the front.
  static WndMacro* ShowWindow(platform::Platform& platform, gui::GuiPlatform& gui);
  // The open macro editor, if any.
  static WndMacro* Current();
  // The application's shortcut list: empty at start, kept while the window is closed.
  static mMacro::ShortCuts& AppShortCuts();

  QPlainTextEdit* TextArea1 = nullptr;
  QTimer* Timer1 = nullptr;  // single shot, kClearDelayMs

  // Reads the shortcuts file (a missing or unreadable file keeps the previous list).
  void Event_Open();
  // Return, Enter and Tab expand and are consumed; other keys go to the text area.
  bool TextArea1_KeyDown(QKeyEvent* event);
  void Timer1_Action();
  // The expansion of the abbreviation before the caret (it is then on the clipboard), or the
  // empty text after a beep when there is nothing to expand.
  QString DoInsertMacro();
  // The contextual menu of the shortcuts, owned by `parent`; null when it would have no item.
  // Choosing an item calls Event_ContextualMenuAction with its abbreviation.
  QMenu* Event_ConstructContextualMenu(QWidget* parent);
  // Replaces the text with the chosen abbreviation, the caret after it.
  void Event_ContextualMenuAction(const QString& abbreviation);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  platform::Platform& platform_;
  gui::GuiPlatform& gui_;
  mMacro::ShortCuts& shortCuts_;
  static QPointer<WndMacro> current_;
};
