#include "compress/WndCompress.h"

#include "app/App.h"
#include "app/GuiFileList.h"
#include "app/GuiPlatform.h"
#include "app/Platform.h"
#include "app/mError.h"
#include "app/mFile.h"
#include "app/mPrefs.h"
#include "compress/StartInfoWnd.h"
#include "tagcheck/WndFileErr.h"
#include "tools/GuiUpdateFetch.h"
#include "tools/WndNotiFication.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>

#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr char kBrixelMissingMessage[] = "Can\u00B4t find Brixel Preferences!";
constexpr char kCopyFailedMessage[] =
    "Error!\rThe site could not be copied. The report is in \"Trimora.error\" on the Desktop.";

QFrame* Separator(QWidget* parent, const char* name, QRect r) {
  auto* f = new QFrame(parent);
  f->setObjectName(name);
  f->setFrameShape(r.width() >= r.height() ? QFrame::HLine : QFrame::VLine);
  f->setFrameShadow(QFrame::Sunken);
  f->setGeometry(r);
  return f;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& text, QRect r) {
  auto* c = new QCheckBox(text, parent);
  c->setObjectName(name);
  c->setGeometry(r);
  c->setFont(gui::SmallSystemFont());
  return c;
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& title, QRect r) {
  auto* g = new QGroupBox(title, parent);
  g->setObjectName(name);
  g->setGeometry(r);
  g->setFont(gui::SmallSystemFont());
  return g;
}

}  // namespace

WndCompress::WndCompress(App& app) : QMainWindow(nullptr), app_(app) {
  // A minimise box, no close box and no zoom box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowMinimizeButtonHint);
  setWindowTitle(QString());
  app_.MenuBar().InstallOn(this);
  BuildControls();

  Timer1.setSingleShot(true);
  Timer1.setInterval(app_.Config().selectSiteDelayMs);
  connect(&Timer1, &QTimer::timeout, this, &WndCompress::Timer1_Action);
  TimerCopyThread.setInterval(app_.Config().copyTimerMs);
  connect(&TimerCopyThread, &QTimer::timeout, this, &WndCompress::TimerCopyThread_Action);

  MenuBar1& bar = app_.MenuBar();
  bar.SetHandler(this, "ToolsShowInspector", [this] { return _ToolsShowInspector_Action(); });
  bar.SetHandler(this, "ToolsValidatorSAC", [this] { return _ToolsValidatorSAC_Action(); });
}

WndCompress::~WndCompress() {
  delete UpdateCheck;  // waits for its thread before the window goes
  UpdateCheck = nullptr;
  FinishWork();
}

void WndCompress::BuildControls() {
  auto* content = new QWidget(this);
  content->setObjectName("content");
  content->setAutoFillBackground(true);
  QPalette pal = content->palette();
  pal.setColor(QPalette::Window, QColor(225, 225, 225));
  content->setPalette(pal);
  setCentralWidget(content);
  const QFont small = gui::SmallSystemFont();

  GroupBox1 = Group(content, "GroupBox1", QString(), {20, 14, 226, 366});
  // Children of the frame are placed in window coordinates, so they sit beside it.
  CheckBox6 = CheckBox(content, "CheckBox6", QStringLiteral("Remove All Linebreaks in  HTML"), {30, 28, 204, 20});
  CheckBox7 = CheckBox(content, "CheckBox7", QStringLiteral("Remove All Linebreaks in CSS"), {30, 51, 204, 20});
  Separator5 = Separator(content, "Separator5", {30, 117, 204, 9});
  GroupBox5 = Group(content, "GroupBox5", QStringLiteral("Always Open"), {30, 134, 204, 91});
  RadioButton1 = new QRadioButton(QStringLiteral("Last Trimora Site/Project"), GroupBox5);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setGeometry(40 - 30, 160 - 134, 185, 20);
  RadioButton1->setFont(small);
  RadioButton2 = new QRadioButton(QStringLiteral("Last Brixel Site/Project"), GroupBox5);
  RadioButton2->setObjectName("RadioButton2");
  RadioButton2->setGeometry(40 - 30, 188 - 134, 183, 20);
  RadioButton2->setFont(small);
  Separator6 = Separator(content, "Separator6", {30, 243, 204, 3});

  GroupBox4 = Group(content, "GroupBox4", QString(), {253, 14, 372, 366});
  Separator(content, "Separator1", {261, 30, 2, 337});
  Separator(content, "Separator2", {616, 30, 1, 337});
  Separator(content, "Separator3", {262, 367, 354, 2});
  Rows = new gui::FileListModel({QStringLiteral("Files"), QStringLiteral("Removed")}, this);
  Rows->SetRightAligned(1);
  Listbox1 = new gui::FileListView(content);
  Listbox1->setObjectName("Listbox1");
  Listbox1->setModel(Rows);
  Listbox1->setGeometry(262, 30, 354, 339);
  Listbox1->setFrameShape(QFrame::NoFrame);
  Listbox1->setFont(small);
  Listbox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Listbox1->SetColumnFractions({0.75, 0.25});
  Listbox1->setDragEnabled(true);
  Listbox1->setDragDropMode(QAbstractItemView::DragOnly);
  Listbox1->setDefaultDropAction(Qt::CopyAction);

  GroupBox3 = Group(content, "GroupBox3", QString(), {631, 14, 149, 366});
  PushButton1 = new QPushButton(QStringLiteral("Select Site"), content);
  PushButton1->setObjectName("PushButton1");
  PushButton1->setGeometry(640, 30, 128, 19);
  PushButton1->setFont(small);
  PushButton1->setToolTip(QStringLiteral("Select Original Site."));
  PushButton1->setAutoDefault(false);
  Separator4 = Separator(content, "Separator4", {640, 65, 128, 10});
  PushButton2 = new QPushButton(QStringLiteral("Compress"), content);
  PushButton2->setObjectName("PushButton2");
  PushButton2->setGeometry(640, 87, 128, 19);
  PushButton2->setFont(small);
  PushButton2->setToolTip(QStringLiteral("Create an optimized site on the desktop."));
  PushButton2->setAutoDefault(false);
  PushButton2->setEnabled(false);
  PushButton3 = new QToolButton(content);
  PushButton3->setObjectName("PushButton3");
  PushButton3->setGeometry(748, 347, 20, 20);
  PushButton3->setText(QStringLiteral("?"));
  PushButton3->setStyleSheet(QStringLiteral(
      "QToolButton { border: 1px solid #8c8c8c; border-radius: 10px; background: #fdfdfd; }"
      "QToolButton:pressed { background: #d0d0d0; }"));

  Label1 = new QLabel(content);
  Label1->setObjectName("Label1");
  Label1->setGeometry(19, 382, 761, 16);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setFont(small);

  // These lie below the content at its default height and show when the window grows.
  CheckBox4 = CheckBox(content, "CheckBox4", QStringLiteral("Remove Brixel Comments"), {146, 458, 208, 20});
  CheckBox1 = CheckBox(content, "CheckBox1", QStringLiteral("Remove TAB"), {377, 458, 197, 20});
  CheckBox2 = CheckBox(content, "CheckBox2", QStringLiteral("Remove Double Space"), {146, 489, 197, 20});
  CheckBox3 = CheckBox(content, "CheckBox3", QStringLiteral("Remove Empty Lines"), {593, 457, 197, 20});
  CheckBox5 = CheckBox(content, "CheckBox5", QStringLiteral("Remove Comments"), {377, 489, 197, 20});

  // Frames first, so that the controls they hold are drawn over them.
  for (QWidget* w : {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(GroupBox4),
                     static_cast<QWidget*>(GroupBox3)})
    w->lower();

  // Check boxes and radio buttons run their handlers whenever their value changes, also when
  // the program sets it.
  trimora::Options& o = app_.mPrefs.opts;
  connect(CheckBox1, &QCheckBox::toggled, this, [&o](bool on) { o.TrimTAB = on; });
  connect(CheckBox2, &QCheckBox::toggled, this, [&o](bool on) { o.TrimDoubleSpace = on; });
  connect(CheckBox3, &QCheckBox::toggled, this, [&o](bool on) { o.TrimEmptyLines = on; });
  connect(CheckBox4, &QCheckBox::toggled, this, [&o](bool on) { o.TrimBrixelComments = on; });
  connect(CheckBox5, &QCheckBox::toggled, this, [&o](bool on) { o.TrimAllComments = on; });
  connect(CheckBox6, &QCheckBox::toggled, this,
          [this](bool on) { mPrefs::SetTrimLineBreaksHTML(app_.mPrefs, on); });
  connect(CheckBox7, &QCheckBox::toggled, this,
          [this](bool on) { mPrefs::SetTrimLineBreaksCSS(app_.mPrefs, on); });
  connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton1_Action(); });
  connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton2_Action(); });
  connect(PushButton1, &QPushButton::clicked, this, &WndCompress::PushButton1_Action);
  connect(PushButton2, &QPushButton::clicked, this, &WndCompress::PushButton2_Action);
  connect(PushButton3, &QToolButton::clicked, this, &WndCompress::PushButton3_Action);
  connect(Listbox1, &gui::FileListView::selectionChangedTo, this, &WndCompress::Listbox1_Change);
  connect(Listbox1, &gui::FileListView::rowDoubleClicked, this, [this] { Listbox1_DoubleClick(); });

  // Content 800 by 400, at least 800 by 300, centred on the main screen.
  const int bar = menuBar() && menuBar()->isNativeMenuBar() == false && !menuBar()->actions().isEmpty()
                      ? menuBar()->sizeHint().height()
                      : 0;
  setMinimumSize(800, 300 + bar);
  resize(800, 400 + bar);
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect avail = s->availableGeometry();
    move(avail.center() - QPoint(width() / 2, height() / 2));
  }
}

// ---- Opening ------------------------------------------------------------------------------------

void WndCompress::Event_Open() {
  const trimora::Options o = app_.mPrefs.opts;
  CheckBox1->setChecked(o.TrimTAB);
  CheckBox2->setChecked(o.TrimDoubleSpace);
  CheckBox3->setChecked(o.TrimEmptyLines);
  CheckBox4->setChecked(o.TrimBrixelComments);
  CheckBox5->setChecked(o.TrimAllComments);

  mPrefs::LoadLineBreakOptions(app_.mPrefs);
  const bool html = app_.mPrefs.opts.TrimLineBreaksHTML;
  const bool css = app_.mPrefs.opts.TrimLineBreaksCSS;
  CheckBox6->setChecked(html);
  CheckBox7->setChecked(css);

  if (app_.mPrefs.AlwaysOpenLastSite == 1) {
    RadioButton1->setChecked(true);
    OpenLastTrimora();
  } else if (app_.mPrefs.AlwaysOpenLastSite == 2) {
    RadioButton2->setChecked(true);
    OpenLastBrixel();
  }

  if (app_.Config().updateCheck) {
    UpdateCheck = new UpdateFetch(app_.Platform(), app_.mGlobals.VersionStr, this);
    if (!app_.Config().versionFileUrl.isEmpty()) UpdateCheck->setVersionFileUrl(app_.Config().versionFileUrl);
    // The check's thread only decides; the page is opened here, on the main thread, once the
    // watching timer has seen the end of the check.
    UpdateCheck->setOpenUrl([](const QUrl&) {});
    connect(UpdateCheck, &UpdateFetch::ended, this, [this] {
      if (UpdateCheck->verdict() == updatecheck::Verdict::Newer)
        app_.Gui().OpenUrl(QUrl(QString::fromStdString(updatecheck::DownloadPageUrl())));
    });
    connect(UpdateCheck, &UpdateFetch::failed, this,
            [this] { app_.Gui().MessageBox(this, QString::fromUtf8(kUpdateThreadErrorMessage)); });
    UpdateCheck->start();
  }
}

// ---- Site selection -----------------------------------------------------------------------------

void WndCompress::PushButton1_Action() { Timer1.start(); }

void WndCompress::Timer1_Action() {
  Timer1.stop();
  Rows->Clear();
  SelectTheFolder();
}

void WndCompress::SelectTheFolder() {
  // Choosing a site means following Trimora's own last site from now on.
  RadioButton1->setChecked(true);

  gui::FolderDialog dialog;
  dialog.acceptCaption = QStringLiteral("Select Site Folder");
  dialog.title = QStringLiteral(" ");
  dialog.prompt = QStringLiteral(" ");
  dialog.startIn = app_.Platform().DocumentsFolder();
  const std::optional<fs::path> chosen = app_.Gui().ChooseFolder(this, dialog);

  std::error_code ec;
  if (chosen && fs::is_directory(*chosen, ec)) {
    if (mFile::isAlreadyCompressed(*chosen, [this](const std::string& m) { Tell(m); })) return;
    ShowSite(*chosen);
  } else if (chosen) {
    ShowNoSite();
  } else if (app_.mGlobals.TheOriginalFolder.empty()) {
    ShowNoSite();
  }
}

void WndCompress::ShowSite(const fs::path& folder) {
  std::error_code ec;
  const fs::path abs = fs::absolute(folder, ec);
  app_.mGlobals.TheOriginalFolder = abs.empty() ? folder : abs;
  Label1->setText(gui::ToQString(app_.mGlobals.TheOriginalFolder));
  PushButton2->setEnabled(!busy_);
  PushButton2->setDefault(true);
}

void WndCompress::ShowNoSite() {
  PushButton2->setEnabled(false);
  Label1->clear();
  Rows->Clear();
}

void WndCompress::RadioButton1_Action() {
  mPrefs::SetAlwaysOpenLastSite(app_.mPrefs, 1);
  OpenLastTrimora();
}

void WndCompress::RadioButton2_Action() {
  if (!mFile::GetBrixelSettingsFolder(app_.Platform()).empty()) {
    mPrefs::SetAlwaysOpenLastSite(app_.mPrefs, 2);
    OpenLastBrixel();
    return;
  }
  WndNotiFication::ShowNotification(this, QStringLiteral("Error!"), QString::fromUtf8(kBrixelMissingMessage));
  RadioButton1->setChecked(true);
}

void WndCompress::ReopenFrom(const std::string& reference) {
  if (const auto folder = mFile::ResolveFolderReference(reference)) {
    Rows->Clear();
    ShowSite(*folder);
  } else {
    ShowNoSite();
  }
}

void WndCompress::OpenLastTrimora() {
  const std::string text = mFile::ReadPrefsFile(mPrefs::kLastUsedFile);
  if (text == mFile::kFailureMarker) return;
  ReopenFrom(text);
}

void WndCompress::OpenLastBrixel() {
  const fs::path settings = mFile::GetBrixelSettingsFolder(app_.Platform());
  if (settings.empty()) return;
  const fs::path file = settings / "ProjectFolder";
  std::error_code ec;
  if (!fs::exists(file, ec)) return;
  const std::string text = mFile::ReadRawTextFile(file);
  if (text == mFile::kFailureMarker) return;
  ReopenFrom(text);
}

bool WndCompress::Event_CancelClose() {
  if (app_.mPrefs.AlwaysOpenLastSite == 1) {
    const fs::path last = app_.mGlobals.TheOriginalFolder;
    std::error_code ec;
    if (!last.empty() && fs::is_directory(last, ec))
      mFile::WritePrefsFile(mPrefs::kLastUsedFile, mFile::FolderReference(last));
  }
  return false;
}

void WndCompress::PushButton3_Action() { app_.Gui().OpenUrl(trimora_urls::HelpPage()); }

// ---- Result list ------------------------------------------------------------------------------

void WndCompress::Listbox1_Change(int row) {
  if (row < 0) return;
  const auto file = Rows->Tag(row);
  std::error_code ec;
  if (file && fs::exists(*file, ec)) {
    Listbox1->setToolTip(gui::ToQString(fs::absolute(*file, ec)));
    SelectedFileItem = file;
    if (!isListboxLoading) {
      app_.UpdateInspector(*file);
      app_.SetValidatorCaption(file);
    }
  } else {
    app_.SetValidatorCaption(std::nullopt);
    Listbox1->setToolTip(QString());
  }
}

void WndCompress::Listbox1_DoubleClick() {
  std::error_code ec;
  if (SelectedFileItem && fs::exists(*SelectedFileItem, ec)) {
    app_.Gui().OpenUrl(QUrl::fromLocalFile(gui::ToQString(fs::absolute(*SelectedFileItem, ec))));
  } else {
    app_.Gui().Beep();
  }
}

void WndCompress::Event_Activate() {
  app_.mPrefs.WndTrimoraIsOpened = true;
  Listbox1->setFocus();
  if (Listbox1->SelectedRow() >= 0 && SelectedFileItem) app_.SetValidatorCaption(SelectedFileItem);
}

bool WndCompress::_ToolsShowInspector_Action() {
  app_.ToggleInspector();
  return true;
}

bool WndCompress::_ToolsValidatorSAC_Action() {
  app_.OpenInValidator(this, SelectedFileItem);
  return true;
}

// ---- Compress -----------------------------------------------------------------------------------

void WndCompress::Tell(const std::string& message) {
  app_.Gui().MessageBox(this, QString::fromStdString(message));
}

void WndCompress::SetBusy(bool busy) {
  busy_ = busy;
  for (QWidget* w : {static_cast<QWidget*>(PushButton1), static_cast<QWidget*>(CheckBox1),
                     static_cast<QWidget*>(CheckBox2), static_cast<QWidget*>(CheckBox3),
                     static_cast<QWidget*>(CheckBox4), static_cast<QWidget*>(CheckBox5),
                     static_cast<QWidget*>(CheckBox6), static_cast<QWidget*>(CheckBox7),
                     static_cast<QWidget*>(GroupBox5)})
    w->setEnabled(!busy);
  PushButton2->setEnabled(!busy && !Label1->text().isEmpty());
}

void WndCompress::PushButton2_Action() {
  if (busy_) return;
  if (app_.mGlobals.isWndErrActive) {
    if (WndFileErr* w = app_.ErrorsWindow(false)) w->close();
  }
  app_.CloseTodaysFiles();
  Globals& g = app_.mGlobals;
  if (mFile::isInTrash(g.TheOriginalFolder, app_.Platform(), [this](const std::string& m) { Tell(m); }))
    return;
  g.isUserCancelled.store(false, std::memory_order_release);
  Rows->Clear();
  copyFailures_.clear();
  // Only the copy this compression makes may be rewritten: never an earlier one.
  FolderToOptimize.clear();
  copiedSite_ = g.TheOriginalFolder;
  SetBusy(true);

  isCopyThreadEnded.store(false, std::memory_order_release);
  ThreadError.store(false, std::memory_order_release);
  sheet_ = new StartInfoWnd(this, g.isUserCancelled);
  sheet_->show();
  TimerCopyThread.start();

  // The options in force when Compress is pressed hold for the whole compression.
  compressSettings_ = {};
  compressSettings_.opts = app_.mPrefs.opts;
  compressSettings_.dicts = &app_.Dictionaries();
  const int jobs = app_.Config().runJobs;
  compressSettings_.jobs = jobs > 0 ? jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  ahead_ = {};

  trimora::SiteCopyRequest request;
  request.site = g.TheOriginalFolder;
  request.cancel = &g.isUserCancelled;
  request.rewrite = &compressSettings_;
  SharedText* progress = &g.isCopyDirectoryStr;
  request.progress = [progress, last = std::string()](const trimora::CopyProgress& p) mutable {
    if (!p.text.empty() && p.text != last) {
      last = p.text;
      progress->set(p.text);
    }
  };
  copyThread_ = std::thread([this, request] {
    try {
      copyResult_ = trimora::CopySite(request, app_.Platform());
    } catch (const std::exception& e) {
      mError::ReportException(app_.Platform(), e);
      ThreadError.store(true, std::memory_order_release);
    } catch (...) {
      mError::ReportUnknownException(app_.Platform());
      ThreadError.store(true, std::memory_order_release);
    }
    isCopyThreadEnded.store(true, std::memory_order_release);
  });
}

void WndCompress::TimerCopyThread_Action() {
  if (runThread_.joinable()) return TimerRun_Action();
  Globals& g = app_.mGlobals;
  if (!isCopyThreadEnded.load(std::memory_order_acquire)) {
    if (sheet_) sheet_->Label1->setText(QString::fromStdString(g.isCopyDirectoryStr.get()));
    return;
  }
  TimerCopyThread.stop();
  if (copyThread_.joinable()) copyThread_.join();
  if (sheet_) {
    sheet_->CloseSheet();
    sheet_->deleteLater();
    sheet_ = nullptr;
  }
  trimora::SiteCopyResult result = std::move(copyResult_);
  copyResult_ = {};
  if (!result.copy.empty()) {
    FolderToOptimize = result.copy;
    g.TheOptimizedFolder = result.copy;
  }
  copyFailures_ = std::move(result.failures);
  ahead_ = std::move(result.ahead);

  auto finish = [this] {
    SetBusy(false);
    emit compressionFinished();
  };
  if (ThreadError.load(std::memory_order_acquire)) {
    Tell(kCopyFailedMessage);
    HandOver({});
    return finish();
  }
  if (!result.ok()) {
    Tell(result.error);
    return finish();
  }
  if (g.isUserCancelled.load(std::memory_order_acquire)) {
    // The partial copy stays on the Desktop and the list stays empty; what could not be
    // copied before the cancel is still listed.
    HandOver({});
    return finish();
  }
  FileToCleanArray = trimora::FindTheFiles(FolderToOptimize, app_.Platform());
  StartRun();
}

void WndCompress::StartRun() {
  isListboxLoading = true;
  trimora::RunSettings settings = compressSettings_;
  settings.originalFolder = copiedSite_;
  settings.optimizedFolder = FolderToOptimize;
  settings.ahead = &ahead_;
  {
    std::lock_guard lock(runMutex_);
    pendingRows_.clear();
    runReport_.reset();
    runFailure_.clear();
  }
  runEnded_.store(false, std::memory_order_release);
  std::vector<fs::path> files = FileToCleanArray;
  // The rewrite runs beside the window; its rows wait in a queue that the copy timer, still
  // ticking on the main thread, empties into the list in order.
  runThread_ = std::thread([this, files = std::move(files), settings] {
    trimora::RunReport report;
    std::string failure;
    try {
      report = trimora::Run(files, settings, app_.Platform(),
                            [this](const trimora::ResultRow& row, size_t, size_t) {
                              std::lock_guard lock(runMutex_);
                              pendingRows_.push_back(row);
                            });
    } catch (const std::exception& e) {
      mError::ReportException(app_.Platform(), e);
      failure = e.what();
    } catch (...) {
      mError::ReportUnknownException(app_.Platform());
      failure = "unknown error";
    }
    {
      std::lock_guard lock(runMutex_);
      runReport_ = std::move(report);
      runFailure_ = std::move(failure);
    }
    runEnded_.store(true, std::memory_order_release);
  });
  TimerCopyThread.start();
}

void WndCompress::TimerRun_Action() {
  const bool ended = runEnded_.load(std::memory_order_acquire);
  std::deque<trimora::ResultRow> rows;
  {
    std::lock_guard lock(runMutex_);
    rows.swap(pendingRows_);
  }
  for (const trimora::ResultRow& row : rows) AddResultRow(row);
  if (!ended) return;
  TimerCopyThread.stop();
  runThread_.join();
  trimora::RunReport report;
  std::string failure;
  {
    std::lock_guard lock(runMutex_);
    for (const trimora::ResultRow& row : pendingRows_) AddResultRow(row);
    pendingRows_.clear();
    report = std::move(*runReport_);
    runReport_.reset();
    failure = std::move(runFailure_);
  }
  if (!failure.empty()) {
    isListboxLoading = false;
    FileToCleanArray.clear();
    Tell("Error!\rThe compression stopped: " + failure);
    SetBusy(false);
    emit compressionFinished();
    return;
  }
  RunFinished(report);
}

void WndCompress::AddResultRow(const trimora::ResultRow& row) {
  const int n = Rows->AddRow({QString::fromStdString(row.path), QString::fromStdString(row.bytes)},
                             row.file);
  Listbox1->SelectRow(n);
  emit rowAdded(n);
}

void WndCompress::RunFinished(const trimora::RunReport& report) {
  const int n = Rows->AddRow({QString::fromStdString(report.totalLabel),
                              QString::fromStdString(report.totalBytes)});
  Listbox1->SelectRow(n);
  emit rowAdded(n);
  isListboxLoading = false;
  FileToCleanArray.clear();
  HandOver(report.findings);
  SetBusy(false);
  emit compressionFinished();
}

void WndCompress::HandOver(const std::vector<trimora::Finding>& findings) {
  for (const trimora::Finding& f : findings)
    app_.ErrorsWindow(true)->AddRow(QString::fromStdString(f.message), f.file);
  for (const trimora::CopyFailure& f : copyFailures_) {
    const std::string where = mFile::GetExtraServerPathStr(copiedSite_, f.item);
    app_.ErrorsWindow(true)->AddRow(
        QString::fromStdString("Not copied: " + (where.empty() ? f.item.string() : where) + " (" + f.reason + ")"),
        std::nullopt);
  }
  copyFailures_.clear();
  if (app_.mGlobals.isWndErrActive) {
    WndFileErr* w = app_.ErrorsWindow(false);
    if (w && w->Rows->RowCount() > 0) w->Listbox1->SelectRow(0);
  }
}

void WndCompress::FinishWork() {
  if (copyThread_.joinable()) {
    app_.mGlobals.isUserCancelled.store(true, std::memory_order_release);
    copyThread_.join();
  }
  TimerCopyThread.stop();
  if (sheet_) {
    sheet_->CloseSheet();
    delete sheet_.data();
    sheet_ = nullptr;
  }
  if (runThread_.joinable()) runThread_.join();
  {
    std::lock_guard lock(runMutex_);
    pendingRows_.clear();
    runReport_.reset();
  }
  isListboxLoading = false;
  busy_ = false;
}

// ---- Window events ------------------------------------------------------------------------------

bool WndCompress::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) Event_Activate();
  return QMainWindow::event(event);
}

void WndCompress::changeEvent(QEvent* event) {
  // Back from the Dock or the task bar: the window takes the keyboard focus.
  if (event->type() == QEvent::WindowStateChange) {
    auto* e = static_cast<QWindowStateChangeEvent*>(event);
    if ((e->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized)) {
      activateWindow();
      setFocus();
    }
  }
  QMainWindow::changeEvent(event);
}

void WndCompress::keyPressEvent(QKeyEvent* event) {
  // Compress is the default button once a site is chosen: Return presses it.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && PushButton2->isEnabled() &&
      PushButton2->isDefault()) {
    PushButton2->click();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void WndCompress::closeEvent(QCloseEvent* event) {
  // The window has no close box; closing it otherwise means quitting the application.
  if (!app_.IsQuitting()) {
    event->ignore();
    QMetaObject::invokeMethod(&app_, [a = &app_] { a->Quit(); }, Qt::QueuedConnection);
    return;
  }
  FinishWork();
  Event_CancelClose();
  event->accept();
}
