#include "app/MenuBar1.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

constexpr int kNoRole = QAction::NoRole;

bool IsEditItem(const QString& item) { return item.startsWith(QLatin1String("Edit")); }

}  // namespace

const std::vector<MenuBar1::Entry>& MenuBar1::Table() {
  // Menu title entries have an empty item name. "Cmd" is the platform's command key: Qt maps
  // Ctrl to Command on macOS.
  static const std::vector<Entry> table = {
      {"FileMenu", "", "&File", "", kNoRole},
      {"FileMenu", "FileCloseWindow", "Close Window", "Ctrl+W", kNoRole},
      {"FileMenu", "FileQuit", "&Quit", "Ctrl+Q", QAction::QuitRole},
      {"FileMenu", "FileAboutApp", "About Trimora", "", QAction::AboutRole},
      {"FileMenu", "FilePreferences", "Preferences", "Ctrl+,", QAction::PreferencesRole},
      {"FileMenu", "UntitledSeparator", "-", "", kNoRole},
      {"EditMenu", "", "&Edit", "", kNoRole},
      {"EditMenu", "EditUndo", "&Undo", "Ctrl+Z", kNoRole},
      {"EditMenu", "UntitledMenu1", "-", "", kNoRole},
      {"EditMenu", "EditCut", "Cu&t", "Ctrl+X", kNoRole},
      {"EditMenu", "EditCopy", "&Copy", "Ctrl+C", kNoRole},
      {"EditMenu", "EditPaste", "&Paste", "Ctrl+V", kNoRole},
      {"EditMenu", "EditClear", "&Delete", "", kNoRole},
      {"EditMenu", "UntitledMenu0", "-", "", kNoRole},
      {"EditMenu", "EditSelectAll", "Select &All", "Ctrl+A", kNoRole},
      {"ToolsMenu", "", "Tools", "", kNoRole},
      {"ToolsMenu", "ToolsShowInspector", "Show Inspector...", "Ctrl+I", kNoRole},
      {"ToolsMenu", "ToolsValidatorSAC", "Validator S.A.C...", "Ctrl+Alt+I", kNoRole},
      {"ToolsMenu", "UntitledSeparator2", "-", "", kNoRole},
      {"ToolsMenu", "ToolsShowTodaysModifiedFiles", "Show Todays Modified Files...", "", kNoRole},
      {"ToolsMenu", "UntitledSeparator3", "-", "", kNoRole},
      {"ToolsMenu", "ToolsInsertMacroTool", "Macro Editor Tool", "", kNoRole},
      {"HelpMenu", "", " Help", "", kNoRole},
      {"HelpMenu", "HelpTrimoraHelp", "Trimora Help", "", kNoRole},
      {"HelpMenu", "UntitledSeparator0", "-", "", kNoRole},
      {"HelpMenu", "HelpTrimoraDownloadPage", "Trimora Download Page", "", kNoRole},
      {"HelpMenu", "HelpTrimoraVersionInfo", "Trimora Version Info", "", kNoRole},
      {"HelpMenu", "UntitledSeparator1", "-", "", kNoRole},
      {"HelpMenu", "HelpSendBugreport", "Send Bug Report...", "", kNoRole},
  };
  return table;
}

MenuBar1::MenuBar1(QObject* parent) : QObject(parent) {
  Build();
  // Item states follow the front window and the focused control.
  if (qApp) {
    connect(qApp, &QApplication::focusChanged, this, [this] { UpdateEnabling(); });
  }
#ifdef Q_OS_MACOS
  appBar_ = new QMenuBar(nullptr);
  for (const QString& m : menuOrder_) appBar_->addMenu(menus_.value(m));
#endif
}

MenuBar1::~MenuBar1() {
  delete appBar_;
  for (QMenu* m : menus_) delete m;
}

void MenuBar1::Build() {
  for (const Entry& e : Table()) {
    if (e.name.isEmpty()) {
      auto* menu = new QMenu(e.text);
      menu->setObjectName(e.menu);
      menu->setSeparatorsCollapsible(false);
      connect(menu, &QMenu::aboutToShow, this, [this] { UpdateEnabling(); });
      menus_.insert(e.menu, menu);
      menuOrder_ << e.menu;
      continue;
    }
    QMenu* menu = menus_.value(e.menu);
    QAction* a = nullptr;
    if (e.text == QLatin1String("-")) {
      a = menu->addSeparator();
    } else {
      a = menu->addAction(e.text);
      if (!e.shortcut.isEmpty()) {
        a->setShortcut(QKeySequence(e.shortcut));
        // Shortcuts work in every window, also in those that show no menu bar of their own.
        a->setShortcutContext(Qt::ApplicationShortcut);
      }
      const QString name = e.name;
      connect(a, &QAction::triggered, this, [this, name] { Trigger(name); });
    }
    a->setObjectName(e.name);
    a->setMenuRole(static_cast<QAction::MenuRole>(e.role));
    items_.insert(e.name, a);
    itemOrder_ << e.name;
  }
}

QAction* MenuBar1::Item(const QString& name) const { return items_.value(name, nullptr); }
QMenu* MenuBar1::Menu(const QString& name) const { return menus_.value(name, nullptr); }
QStringList MenuBar1::ItemNames() const { return itemOrder_; }

void MenuBar1::InstallOn(QMainWindow* window) {
#ifdef Q_OS_MACOS
  (void)window;
#else
  if (!window) return;
  QMenuBar* bar = window->menuBar();
  if (!bar->actions().isEmpty()) return;
  for (const QString& m : menuOrder_) bar->addMenu(menus_.value(m));
#endif
}

void MenuBar1::SetHandler(QObject* window, const QString& item, Handler handler) {
  if (window && !handlers_.contains(window)) {
    connect(window, &QObject::destroyed, this, [this, window] { RemoveHandlers(window); });
  }
  handlers_[window].insert(item, std::move(handler));
  UpdateEnabling();
}

void MenuBar1::RemoveHandlers(QObject* window) {
  if (handlers_.remove(window)) UpdateEnabling();
}

bool MenuBar1::HasHandler(QObject* window, const QString& item) const {
  auto it = handlers_.constFind(window);
  return it != handlers_.constEnd() && it->contains(item);
}

QWidget* MenuBar1::FrontWindow() {
  QWidget* w = QApplication::activeWindow();
  return w ? w->window() : nullptr;
}

void MenuBar1::UpdateEnabling() {
  QWidget* front = FrontWindow();
  for (auto it = items_.constBegin(); it != items_.constEnd(); ++it) {
    QAction* a = it.value();
    if (a->isSeparator()) continue;
    const QString& name = it.key();
    bool on;
    if (IsEditItem(name)) {
      on = EditCommand(name, false);
    } else {
      on = (front && HasHandler(front, name)) || HasHandler(nullptr, name);
    }
    a->setEnabled(on);
  }
  if (enableHook_) enableHook_();
}

bool MenuBar1::Trigger(const QString& item) {
  if (IsEditItem(item)) return EditCommand(item, true);
  QWidget* front = FrontWindow();
  if (front && HasHandler(front, item)) {
    // Copy: the handler may close its window and so remove itself.
    Handler h = handlers_.value(front).value(item);
    if (h && h()) return true;
  }
  if (HasHandler(nullptr, item)) {
    Handler h = handlers_.value(nullptr).value(item);
    return h && h();
  }
  return false;
}

bool MenuBar1::EditCommand(const QString& item, bool run) {
  QWidget* focus = QApplication::focusWidget();
  if (auto* line = qobject_cast<QLineEdit*>(focus)) {
    const bool editable = !line->isReadOnly();
    const bool sel = line->hasSelectedText();
    if (item == "EditUndo") { if (!editable || !line->isUndoAvailable()) return false; if (run) line->undo(); return true; }
    if (item == "EditCut") { if (!editable || !sel) return false; if (run) line->cut(); return true; }
    if (item == "EditCopy") { if (!sel) return false; if (run) line->copy(); return true; }
    if (item == "EditPaste") { if (!editable) return false; if (run) line->paste(); return true; }
    if (item == "EditClear") { if (!editable || !sel) return false; if (run) line->del(); return true; }
    if (item == "EditSelectAll") { if (run) line->selectAll(); return true; }
    return false;
  }
  // QTextEdit and QPlainTextEdit offer the same commands under the same names.
  auto textCommands = [&](auto* edit) {
    const bool editable = !edit->isReadOnly();
    const bool sel = edit->textCursor().hasSelection();
    if (item == "EditUndo") { if (!editable || !edit->document()->isUndoAvailable()) return false; if (run) edit->undo(); return true; }
    if (item == "EditCut") { if (!editable || !sel) return false; if (run) edit->cut(); return true; }
    if (item == "EditCopy") { if (!sel) return false; if (run) edit->copy(); return true; }
    if (item == "EditPaste") { if (!editable) return false; if (run) edit->paste(); return true; }
    if (item == "EditClear") {
      if (!editable || !sel) return false;
      if (run) edit->textCursor().removeSelectedText();
      return true;
    }
    if (item == "EditSelectAll") { if (run) edit->selectAll(); return true; }
    return false;
  };
  if (auto* te = qobject_cast<QTextEdit*>(focus)) return textCommands(te);
  if (auto* pe = qobject_cast<QPlainTextEdit*>(focus)) return textCommands(pe);
  return false;
}

void MenuBar1::SetItemText(const QString& item, const QString& text) {
  if (QAction* a = Item(item)) a->setText(text);
}

QString MenuBar1::ItemText(const QString& item) const {
  QAction* a = Item(item);
  return a ? a->text() : QString();
}
