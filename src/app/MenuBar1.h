// The one menu bar of the application: four menus ("&File", "&Edit", "Tools", " Help") whose
// items carry a name, a text and a shortcut. Commands are routed by item name: the frontmost
// window's handler first, then the application's; an item is enabled exactly when one of them
// handles it (the edit items: when the focused text control supports the command), after
// which the application's enabling hook adjusts the states.
//
//   menuBar.SetHandler(this, "FileCloseWindow", [this] { close(); return true; });
//   menuBar.UpdateEnabling();   // "Close Window" is enabled while `this` is in front
//
// On macOS the menu bar is the application's and serves every window; elsewhere every window
// that uses it gets its own bar holding the same shared menus (InstallOn).
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QWidget;

class MenuBar1 : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<bool()>;

  explicit MenuBar1(QObject* parent = nullptr);
  ~MenuBar1() override;

  // The item of that name ("FileQuit", "UntitledSeparator", ...), or null.
  QAction* Item(const QString& name) const;
  // "FileMenu", "EditMenu", "ToolsMenu", "HelpMenu", or null.
  QMenu* Menu(const QString& name) const;
  // Every item name, menu by menu, in menu order.
  QStringList ItemNames() const;

  // Lets `window` show the shared menus (a no-op where the menu bar is the application's).
  void InstallOn(QMainWindow* window);

  // Registers the handler of `item` for `window`; a null window stands for the application.
  // A window's handlers go when the window is destroyed.
  void SetHandler(QObject* window, const QString& item, Handler handler);
  void RemoveHandlers(QObject* window);
  bool HasHandler(QObject* window, const QString& item) const;

  // Runs after the automatic enabling each time the states are brought up to date.
  void SetEnableHook(std::function<void()> hook) { enableHook_ = std::move(hook); }
  // Brings every item's state up to date (before a menu opens, on every focus change).
  void UpdateEnabling();

  // Carries out the item's command as choosing it does; true when something handled it.
  bool Trigger(const QString& item);

  void SetItemText(const QString& item, const QString& text);
  QString ItemText(const QString& item) const;

  // The window that commands go to: the active window, or null.
  static QWidget* FrontWindow();

 private:
  struct Entry {
    QString menu, name, text, shortcut;
    int role;  // QAction::MenuRole
  };
  static const std::vector<Entry>& Table();
  bool EditCommand(const QString& item, bool run);
  void Build();

  QHash<QString, QAction*> items_;
  QHash<QString, QMenu*> menus_;
  QStringList menuOrder_;
  QStringList itemOrder_;
  QHash<QObject*, QHash<QString, Handler>> handlers_;
  std::function<void()> enableHook_;
  QMenuBar* appBar_ = nullptr;  // macOS: the application's menu bar
};
