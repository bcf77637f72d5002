#include "tools/WndInspector.h"

#include "app/GuiPlatform.h"
#include "app/MenuBar1.h"
#include "app/Platform.h"
#include "app/mPrefs.h"
#include "tools/InspectorText.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QPointer<WndInspector> WndInspector::current_;

WndInspector::WndInspector(Context context, QWidget* parent)
    : QMainWindow(parent), ctx_(std::move(context)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
  setWindowTitle(QString());
  setMinimumSize(300, 200);
  resize(500, 400);
  ctx_.menuBar.InstallOn(this);

  auto* content = new QWidget(this);
  auto* layout = new QVBoxLayout(content);
  layout->setContentsMargins(6, 5, 6, 5);
  TextArea1 = new QPlainTextEdit(content);
  TextArea1->setObjectName(QStringLiteral("TextArea1"));
  TextArea1->setReadOnly(true);
  TextArea1->setLineWrapMode(QPlainTextEdit::NoWrap);
  TextArea1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  TextArea1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  TextArea1->setFrameShape(QFrame::NoFrame);
  TextArea1->setFont(gui::SmallSystemFont());
  QPalette pal = TextArea1->palette();
  pal.setColor(QPalette::Base, QColor(251, 251, 251));
  pal.setColor(QPalette::Text, Qt::black);
  TextArea1->setPalette(pal);
  layout->addWidget(TextArea1);
  setCentralWidget(content);

  ctx_.menuBar.SetHandler(this, "FileCloseWindow", [this] { return _FileCloseWindow_Action(); });
  ctx_.menuBar.SetHandler(this, "ToolsShowInspector", [this] { return _ToolsShowInspector_Action(); });
  Event_Open();
}

WndInspector::~WndInspector() { MarkClosed(); }

void WndInspector::Event_Open() {
  ctx_.prefs.isInspectorActive = true;
  if (ctx_.selectedFile) UpdateInspector(ctx_.selectedFile());
  ctx_.menuBar.SetItemText("ToolsShowInspector", QString::fromLatin1(kHideCaption));
}

void WndInspector::MarkClosed() {
  if (closed_) return;
  closed_ = true;
  ctx_.menuBar.SetItemText("ToolsShowInspector", QString::fromLatin1(kShowCaption));
  ctx_.prefs.isInspectorActive = false;
}

WndInspector* WndInspector::Current() { return current_.data(); }

WndInspector* WndInspector::ShowWindow(Context context) {
  WndInspector* w = current_.data();
  if (!w) {
    w = new WndInspector(std::move(context));
    current_ = w;
  }
  w->show();
  w->raise();
  w->activateWindow();
  return w;
}

void WndInspector::Toggle(Context context) {
  if (context.prefs.isInspectorActive && current_)
    current_->close();
  else
    ShowWindow(std::move(context));
}

void WndInspector::UpdateIfOpen(const std::filesystem::path& file) {
  if (WndInspector* w = current_.data()) w->UpdateInspector(file);
}

void WndInspector::UpdateInspector(const std::optional<std::filesystem::path>& file) {
  std::error_code ec;
  if (!file || file->empty() || !std::filesystem::exists(*file, ec)) return;
  TextArea1->setPlainText(InspectorText::ForFile(*file));
  setWindowTitle(QString::fromStdString(ctx_.platform.DisplayName(*file)));
}

bool WndInspector::_FileCloseWindow_Action() {
  close();
  return true;
}

bool WndInspector::_ToolsShowInspector_Action() {
  close();
  return true;
}

void WndInspector::closeEvent(QCloseEvent* event) {
  MarkClosed();
  QMainWindow::closeEvent(event);
}
