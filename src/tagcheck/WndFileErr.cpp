#include "tagcheck/WndFileErr.h"

#include "app/App.h"
#include "app/GuiFileList.h"
#include "app/GuiPlatform.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHeaderView>

WndFileErr::WndFileErr(App& app) : QMainWindow(nullptr), app_(app) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
  setWindowTitle(QStringLiteral("Errors"));
  app_.MenuBar().InstallOn(this);

  Rows = new gui::FileListModel({QStringLiteral("Error in file")}, this);
  Listbox1 = new gui::FileListView(this);
  Listbox1->setObjectName("Listbox1");
  Listbox1->setModel(Rows);
  Listbox1->setFont(gui::SmallSystemFont());
  Listbox1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Listbox1->setDragEnabled(false);
  setCentralWidget(Listbox1);
  setMinimumSize(400, 64);
  resize(400, 400);

  connect(Listbox1, &gui::FileListView::selectionChangedTo, this, &WndFileErr::Listbox1_Change);

  MenuBar1& bar = app_.MenuBar();
  bar.SetHandler(this, "FileCloseWindow", [this] { return _FileCloseWindow_Action(); });
  bar.SetHandler(this, "ToolsValidatorSAC", [this] { return _ToolsValidatorSAC_Action(); });
  app_.mGlobals.isWndErrActive = true;
}

WndFileErr::~WndFileErr() { app_.mGlobals.isWndErrActive = false; }

void WndFileErr::AddRow(const QString& message, std::optional<std::filesystem::path> file) {
  Rows->AddRow({message}, std::move(file));
}

void WndFileErr::Listbox1_Change(int row) {
  if (row < 0) return;
  const auto file = Rows->Tag(row);
  std::error_code ec;
  if (file && std::filesystem::exists(*file, ec)) {
    Listbox1->setToolTip(gui::ToQString(std::filesystem::absolute(*file, ec)));
    SelectedFileItem = file;
    app_.UpdateInspector(*file);
    app_.SetValidatorCaption(file);
  } else {
    // The page was removed after the run: the validator keeps acting on the last good one.
    app_.SetValidatorCaption(std::nullopt);
    Listbox1->setToolTip(QString());
  }
}

void WndFileErr::Event_Activate() {
  Listbox1->setFocus();
  if (Listbox1->SelectedRow() >= 0 && SelectedFileItem) app_.SetValidatorCaption(SelectedFileItem);
}

bool WndFileErr::_FileCloseWindow_Action() {
  close();
  return true;
}

bool WndFileErr::_ToolsValidatorSAC_Action() {
  app_.OpenInValidator(this, SelectedFileItem);
  return true;
}

bool WndFileErr::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) Event_Activate();
  return QMainWindow::event(event);
}

void WndFileErr::closeEvent(QCloseEvent* event) {
  app_.mGlobals.isWndErrActive = false;
  QMainWindow::closeEvent(event);
}
