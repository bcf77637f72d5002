// The window "Files Modified Today": the files of the compressed copy whose modification date
// is today, as site-relative paths, searched once as the window opens. Rows can be dragged
// out as their files. The window floats above the others; closing it destroys it, so the next
// opening searches again.
//
//   WndTodaysFiles::ShowWindow(app.Platform(), app.mPrefs, app.mGlobals.TheOptimizedFolder);
//   if (app.mPrefs.WndTodaysFilesActive) WndTodaysFiles::CloseWindow();   // Compress
#pragma once

#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <vector>

namespace gui {
class FileListModel;
class FileListView;
}  // namespace gui
namespace mPrefs { struct Prefs; }
namespace platform { class Platform; }

class WndTodaysFiles : public QWidget {
  Q_OBJECT

 public:
  // Sets prefs.WndTodaysFilesActive and fills the list from `optimizedFolder` (an empty or
  // vanished folder leaves it empty); the first row is selected.
  WndTodaysFiles(platform::Platform& platform, mPrefs::Prefs& prefs,
                 const std::filesystem::path& optimizedFolder, QWidget* parent = nullptr);
  ~WndTodaysFiles() override;

  // Shows the window, made (and searched) on first use, or brings the open one to the front
  // without searching again.
  static WndTodaysFiles* ShowWindow(platform::Platform& platform, mPrefs::Prefs& prefs,
                                    const std::filesystem::path& optimizedFolder);
  static WndTodaysFiles* Current();
  // Closes the open window, if any.
  static void CloseWindow();

  gui::FileListView* Listbox1 = nullptr;
  gui::FileListModel* Rows = nullptr;
  // The files found, in list order.
  std::vector<std::filesystem::path> TodaysFiles;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  mPrefs::Prefs& prefs_;
  static QPointer<WndTodaysFiles> current_;
};
