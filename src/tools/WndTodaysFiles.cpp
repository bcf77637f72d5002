#include "tools/WndTodaysFiles.h"

#include "app/GuiFileList.h"
#include "app/GuiPlatform.h"
#include "app/mPrefs.h"
#include "tools/TodaysFiles.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QVBoxLayout>

QPointer<WndTodaysFiles> WndTodaysFiles::current_;

WndTodaysFiles::WndTodaysFiles(platform::Platform& platform, mPrefs::Prefs& prefs,
                               const std::filesystem::path& optimizedFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowStaysOnTopHint),
      prefs_(prefs) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Files Modified Today"));
  setMinimumSize(400, 300);
  resize(400, 400);

  Rows = new gui::FileListModel({}, this);
  Listbox1 = new gui::FileListView(this);
  Listbox1->setObjectName(QStringLiteral("Listbox1"));
  static_cast<QAbstractItemView*>(Listbox1)->setModel(Rows);  // virtual: the view hooks its selection
  Listbox1->setHeaderHidden(true);
  Listbox1->setFont(gui::SmallSystemFont());
  Listbox1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Listbox1->setDragEnabled(true);
  Listbox1->setDragDropMode(QAbstractItemView::DragOnly);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Listbox1);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r(QPoint(0, 0), size());
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }

  prefs_.WndTodaysFilesActive = true;
  for (TodaysFiles::Row& row : TodaysFiles::TodaysFileRows(optimizedFolder, platform)) {
    Rows->AddRow({QString::fromStdString(row.text)}, row.file);
    TodaysFiles.push_back(std::move(row.file));
  }
  if (Rows->RowCount() > 0) {
    Listbox1->SelectRow(0);
    Listbox1->setFocus();
  }
}

WndTodaysFiles::~WndTodaysFiles() { prefs_.WndTodaysFilesActive = false; }

WndTodaysFiles* WndTodaysFiles::Current() { return current_.data(); }

WndTodaysFiles* WndTodaysFiles::ShowWindow(platform::Platform& platform, mPrefs::Prefs& prefs,
                                           const std::filesystem::path& optimizedFolder) {
  WndTodaysFiles* w = current_.data();
  if (!w) {
    w = new WndTodaysFiles(platform, prefs, optimizedFolder);
    current_ = w;
  }
  w->show();
  w->raise();
  w->activateWindow();
  return w;
}

void WndTodaysFiles::CloseWindow() {
  if (WndTodaysFiles* w = current_.data()) w->close();
}

void WndTodaysFiles::closeEvent(QCloseEvent* event) {
  prefs_.WndTodaysFilesActive = false;
  QWidget::closeEvent(event);
}
