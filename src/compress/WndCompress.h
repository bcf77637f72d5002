// The main window: the options, the "Always Open" choice, Select Site, Compress, the help
// button and the striped result list with one row per rewritten file and a totals row.
//
// A compression: Compress shows the progress sheet and starts the copy worker; the copy timer
// on the main thread follows the worker's progress text and, once the worker has ended,
// closes the sheet, collects the files of the copy and starts the rewrite on a worker thread
// of its own. The same timer then moves the finished rows into the list in list order, each
// new row selected as it arrives; the totals row ends the list, and the tag-check findings (and any item the
// copy could not copy) go to the errors window. The window stays responsive meanwhile; its
// controls are disabled until the run has ended.
#pragma once

#include "compress/Run.h"
#include "compress/SiteCopy.h"
#include "compress/StartInfoWnd.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <deque>
#include <mutex>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

class App;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QToolButton;
class UpdateFetch;
namespace gui {
class FileListModel;
class FileListView;
}  // namespace gui

class WndCompress : public QMainWindow {
  Q_OBJECT

 public:
  explicit WndCompress(App& app);
  ~WndCompress() override;

  // ---- Controls
  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* CheckBox6 = nullptr;  // "Remove All Linebreaks in  HTML"
  QCheckBox* CheckBox7 = nullptr;  // "Remove All Linebreaks in CSS"
  QFrame* Separator5 = nullptr;
  QGroupBox* GroupBox5 = nullptr;  // "Always Open"
  QRadioButton* RadioButton1 = nullptr;  // "Last Trimora Site/Project"
  QRadioButton* RadioButton2 = nullptr;  // "Last Brixel Site/Project"
  QFrame* Separator6 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  gui::FileListView* Listbox1 = nullptr;
  gui::FileListModel* Rows = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QPushButton* PushButton1 = nullptr;  // "Select Site"
  QFrame* Separator4 = nullptr;
  QPushButton* PushButton2 = nullptr;  // "Compress"
  QToolButton* PushButton3 = nullptr;  // help
  QLabel* Label1 = nullptr;            // the site folder's path
  QCheckBox* CheckBox4 = nullptr;      // "Remove Brixel Comments"
  QCheckBox* CheckBox1 = nullptr;      // "Remove TAB"
  QCheckBox* CheckBox2 = nullptr;      // "Remove Double Space"
  QCheckBox* CheckBox3 = nullptr;      // "Remove Empty Lines"
  QCheckBox* CheckBox5 = nullptr;      // "Remove Comments"
  QTimer Timer1;                       // Select Site's delay
  QTimer TimerCopyThread;              // follows the copy, then starts the run
  UpdateFetch* UpdateCheck = nullptr;  // the background update check, once opened

  // ---- State
  std::optional<std::filesystem::path> SelectedFileItem;
  bool isListboxLoading = false;
  std::filesystem::path FolderToOptimize;
  std::vector<std::filesystem::path> FileToCleanArray;
  std::atomic<bool> isCopyThreadEnded{true};
  std::atomic<bool> ThreadError{false};

  // The progress sheet while a copy runs, else null.
  StartInfoWnd* Sheet() const { return sheet_; }
  // A copy or a run is under way.
  bool IsBusy() const { return busy_; }
  // Waits for a copy (asking it to stop) or a run that is under way, for the shutdown.
  void FinishWork();

  // ---- Operations
  void Event_Open();
  void SelectTheFolder();
  void OpenLastTrimora();
  void OpenLastBrixel();
  std::optional<std::filesystem::path> GetSelectedFileItem() const { return SelectedFileItem; }
  // Remembers the site in "Lastused.txt" as the window closes at quit.
  bool Event_CancelClose();

  // ---- Handlers
  void PushButton1_Action();
  void Timer1_Action();
  void PushButton2_Action();  // Compress
  void PushButton3_Action();
  void RadioButton1_Action();
  void RadioButton2_Action();
  void Listbox1_Change(int row);
  void Listbox1_DoubleClick();
  void TimerCopyThread_Action();
  void Event_Activate();
  bool _ToolsShowInspector_Action();
  bool _ToolsValidatorSAC_Action();

 signals:
  // A compression has ended: run and hand-over done, cancelled, or refused by the copy.
  void compressionFinished();
  void rowAdded(int row);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildControls();
  // Makes `folder` the site shown; or shows no site (the global keeps its value).
  void ShowSite(const std::filesystem::path& folder);
  void ShowNoSite();
  // Resolves a stored folder reference and shows it, or shows no site.
  void ReopenFrom(const std::string& reference);
  void SetBusy(bool busy);
  void StartRun();
  void TimerRun_Action();
  void AddResultRow(const trimora::ResultRow& row);
  void RunFinished(const trimora::RunReport& report);
  void HandOver(const std::vector<trimora::Finding>& findings);
  void Tell(const std::string& message);

  App& app_;
  QPointer<StartInfoWnd> sheet_;
  bool busy_ = false;
  std::thread copyThread_;
  std::thread runThread_;
  std::mutex runMutex_;  // guards the three run results below
  std::deque<trimora::ResultRow> pendingRows_;
  std::optional<trimora::RunReport> runReport_;
  std::string runFailure_;
  std::atomic<bool> runEnded_{false};
  trimora::SiteCopyResult copyResult_;  // written by the copy worker before isCopyThreadEnded
  // The settings the copy rewrites files with as it copies them, and what it rewrote, which
  // the run that follows takes over (it alone uses them while it runs).
  trimora::RunSettings compressSettings_;
  trimora::RewrittenAhead ahead_;
  std::vector<trimora::CopyFailure> copyFailures_;
  std::filesystem::path copiedSite_;
};
