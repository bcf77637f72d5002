#include "macro/WndMacro.h"

#include "app/GuiPlatform.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

QPointer<WndMacro> WndMacro::current_;

WndMacro::WndMacro(platform::Platform& platform, gui::GuiPlatform& gui, mMacro::ShortCuts& shortCuts,
                   QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowStaysOnTopHint),
      platform_(platform),
      gui_(gui),
      shortCuts_(shortCuts) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Trimora Macro Editor"));
  setMinimumSize(400, 250);
  resize(450, 250);

  TextArea1 = new QPlainTextEdit(this);
  TextArea1->setObjectName(QStringLiteral("TextArea1"));
  TextArea1->setLineWrapMode(QPlainTextEdit::NoWrap);
  TextArea1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  TextArea1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  TextArea1->setContextMenuPolicy(Qt::CustomContextMenu);
  TextArea1->installEventFilter(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(TextArea1);

  Timer1 = new QTimer(this);
  Timer1->setSingleShot(true);
  Timer1->setInterval(kClearDelayMs);
  connect(Timer1, &QTimer::timeout, this, &WndMacro::Timer1_Action);

  connect(TextArea1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (QMenu* menu = Event_ConstructContextualMenu(this)) {
      menu->exec(TextArea1->viewport()->mapToGlobal(pos));
      menu->deleteLater();
    }
  });

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r(QPoint(0, 0), size());
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
}

mMacro::ShortCuts& WndMacro::AppShortCuts() {
  static mMacro::ShortCuts shortCuts;
  return shortCuts;
}

WndMacro* WndMacro::Current() { return current_.data(); }

WndMacro* WndMacro::ShowWindow(platform::Platform& platform, gui::GuiPlatform& gui) {
  WndMacro* w = current_.data();
  if (!w) {
    w = new WndMacro(platform, gui, AppShortCuts());
    current_ = w;
    w->Event_Open();
  }
  w->show();
  w->raise();
  w->activateWindow();
  w->TextArea1->setFocus();
  return w;
}

void WndMacro::Event_Open() { shortCuts_.Update(platform_); }

bool WndMacro::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TextArea1 && event->type() == QEvent::KeyPress)
    return TextArea1_KeyDown(static_cast<QKeyEvent*>(event));
  return QWidget::eventFilter(watched, event);
}

bool WndMacro::TextArea1_KeyDown(QKeyEvent* event) {
  const int key = event->key();
  if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Tab) return false;
  TextArea1->setPlainText(DoInsertMacro());
  TextArea1->moveCursor(QTextCursor::End);
  Timer1->start(Timer1->interval());
  return true;
}

void WndMacro::Timer1_Action() {
  Timer1->stop();
  TextArea1->clear();
}

QString WndMacro::DoInsertMacro() {
  const int caret = TextArea1->textCursor().position();
  const QString before = TextArea1->toPlainText().left(caret);
  const std::optional<std::string> abbreviation = mMacro::AbbreviationBeforeCaret(before.toStdString());
  if (!abbreviation) {
    gui_.Beep();
    return {};
  }
  const mMacro::Expansion e = mMacro::Expand(*abbreviation);
  if (e.beep) gui_.Beep();
  const QString markup = QString::fromStdString(e.markup);
  if (e.copy) gui_.SetClipboardText(markup);
  return markup;
}

QMenu* WndMacro::Event_ConstructContextualMenu(QWidget* parent) {
  const std::vector<mMacro::MenuEntry> entries = shortCuts_.Menu();
  if (entries.empty()) return nullptr;
  auto* menu = new QMenu(parent);
  for (const mMacro::MenuEntry& entry : entries) {
    if (entry.separator) {
      menu->addSeparator();
      continue;
    }
    const QString abbreviation = QString::fromStdString(entry.text);
    // "&" in an abbreviation is text, not a mnemonic mark.
    QAction* item = menu->addAction(QString(abbreviation).replace(QLatin1Char('&'), QLatin1String("&&")));
    item->setData(abbreviation);
    connect(item, &QAction::triggered, this, [this, abbreviation] { Event_ContextualMenuAction(abbreviation); });
  }
  return menu;
}

void WndMacro::Event_ContextualMenuAction(const QString& abbreviation) {
  TextArea1->setPlainText(abbreviation);
  // The caret after the text, so that one key press expands it.
  TextArea1->moveCursor(QTextCursor::End);
  TextArea1->setFocus();
}
