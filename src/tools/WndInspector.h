// The inspector: a read-only view of the file selected in the main window's result list or in
// the errors window, decoded in the encoding the file declares. It follows those selections
// while it is open; Tools > "Show Inspector..." opens it and, chosen again, closes it.
//
//   WndInspector::Context ctx{app.Platform(), app.mPrefs, app.MenuBar(),
//                             [&] { return mainWindow.GetSelectedFileItem(); }};
//   WndInspector::Toggle(ctx);                  // Tools > "Show Inspector..." / "Hide Inspector"
//   WndInspector::UpdateIfOpen(file);           // a selection changed to an existing file
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <filesystem>
#include <functional>
#include <optional>

class MenuBar1;
class QPlainTextEdit;
namespace mPrefs { struct Prefs; }
namespace platform { class Platform; }

class WndInspector : public QMainWindow {
  Q_OBJECT

 public:
  struct Context {
    platform::Platform& platform;
    mPrefs::Prefs& prefs;
    MenuBar1& menuBar;
    // The main window's selected file, if any.
    std::function<std::optional<std::filesystem::path>()> selectedFile;
  };

  static constexpr const char* kHideCaption = "Hide Inspector";
  static constexpr const char* kShowCaption = "Show Inspector";

  explicit WndInspector(Context context, QWidget* parent = nullptr);
  ~WndInspector() override;

  // Shows the inspector, made on first use (showing the main window's selected file), or
  // brings the open one to the front.
  static WndInspector* ShowWindow(Context context);
  // Closes the inspector when it is open, shows it otherwise.
  static void Toggle(Context context);
  static WndInspector* Current();
  // Shows `file` in the open inspector; nothing when the inspector is closed.
  static void UpdateIfOpen(const std::filesystem::path& file);

  QPlainTextEdit* TextArea1 = nullptr;

  // Shows the whole text of `file` and its display name as the title. An absent or missing
  // file changes nothing; a file that cannot be read shows "*".
  void UpdateInspector(const std::optional<std::filesystem::path>& file);

  bool _FileCloseWindow_Action();
  bool _ToolsShowInspector_Action();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Event_Open();
  void MarkClosed();

  Context ctx_;
  bool closed_ = false;
  static QPointer<WndInspector> current_;
};
