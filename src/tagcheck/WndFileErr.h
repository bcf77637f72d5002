// The errors window "Errors": one row per finding of the tag balance check of the last run
// (and per item the copy could not copy), each row carrying its page. Selecting a row makes
// that page the subject of the validator command and of the inspector. It opens by itself
// when a run has found something and is closed by the next Compress.
#pragma once

#include <QMainWindow>

#include <filesystem>
#include <optional>

class App;
namespace gui {
class FileListModel;
class FileListView;
}  // namespace gui

class WndFileErr : public QMainWindow {
  Q_OBJECT

 public:
  explicit WndFileErr(App& app);
  ~WndFileErr() override;

  gui::FileListView* Listbox1 = nullptr;
  gui::FileListModel* Rows = nullptr;
  // The page of the row last selected whose file existed then.
  std::optional<std::filesystem::path> SelectedFileItem;

  void AddRow(const QString& message, std::optional<std::filesystem::path> file);

  void Listbox1_Change(int row);
  void Event_Activate();
  bool _FileCloseWindow_Action();
  bool _ToolsValidatorSAC_Action();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  App& app_;
};
