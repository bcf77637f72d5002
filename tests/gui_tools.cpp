// The tool windows offscreen: the macro editor, the files modified today, the inspector and the
// validator command's messages.
#include "app/GuiPlatform.h"
#include "app/MenuBar1.h"
#include "app/mPrefs.h"
#include "macro/WndMacro.h"
#include "tools/GuiValidator.h"
#include "tools/WndInspector.h"
#include "tools/WndTodaysFiles.h"

#include "app/GuiFileList.h"

#include "TestPlatform.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

namespace fs = std::filesystem;
using testing_support::TestPlatform;
using testing_support::WriteFile;

namespace {

QString Shown(QString markup) { return markup.replace(QLatin1Char('\r'), QLatin1Char('\n')); }

void WriteModified(const fs::path& file, int day) {
  WriteFile(file, "x");
  const QDateTime when(QDate(2012, 3, day), QTime(12, 0), QTimeZone(3600));
  timespec times[2];
  times[0].tv_sec = times[1].tv_sec = when.toSecsSinceEpoch();
  times[0].tv_nsec = times[1].tv_nsec = 0;
  QCOMPARE(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

}  // namespace

class GuiTools : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    platform = std::make_unique<TestPlatform>();
    gui = std::make_unique<gui::RecordingGuiPlatform>();
  }
  void cleanup() {
    // Windows a test left open (one deletion may take others with it).
    QList<QPointer<QWidget>> open;
    for (QWidget* w : QApplication::topLevelWidgets()) open << w;
    for (const QPointer<QWidget>& w : open) delete w.data();
  }

  // ---- Macro editor ---------------------------------------------------------------------------

  void macroExpandingKeys_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Tab") << int(Qt::Key_Tab);
  }
  void macroExpandingKeys() {
    QFETCH(int, key);
    mMacro::ShortCuts shortCuts;
    WndMacro w(*platform, *gui, shortCuts);
    w.show();
    QTest::keyClicks(w.TextArea1, "ul,li*3");
    QTest::keyClick(w.TextArea1, Qt::Key(key));
    const QString markup = QStringLiteral("<ul>\r<li></li>\r<li></li>\r<li></li>\r</ul>\r");
    QCOMPARE(w.TextArea1->toPlainText(), Shown(markup));
    QCOMPARE(gui->clipboard, std::vector<QString>{markup});
    QCOMPARE(gui->beeps, 0);
    QVERIFY(w.Timer1->isActive());
    QVERIFY(w.Timer1->isSingleShot());
    QCOMPARE(w.Timer1->interval(), 5000);
    // The clearing, with the clock sped up: the window empties, the clipboard keeps the markup.
    w.Timer1->start(1);
    QTRY_VERIFY(w.TextArea1->toPlainText().isEmpty());
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(gui->clipboard.size(), size_t(1));
  }

  void macroAbbreviationBeforeCaret_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret");  // -1: at the end
    QTest::addColumn<QString>("markup");  // empty: beep, nothing copied
    QTest::newRow("word before") << "see div.a" << -1 << "<div class=\"a\">\r</div><!-- End a -->\r";
    QTest::newRow("leading <") << "<div" << -1 << "<div>\r</div>\r";
    QTest::newRow("previous line") << "first line\nbr*2" << -1 << "<br />\r<br />\r";
    QTest::newRow("caret inside") << "p span" << 1 << "<p>\r</p>\r";
    QTest::newRow("after a space") << "text " << -1 << "";
    QTest::newRow("tag first") << "<p>div" << -1 << "";
    QTest::newRow("empty") << "" << -1 << "";
  }
  void macroAbbreviationBeforeCaret() {
    QFETCH(QString, text);
    QFETCH(int, caret);
    QFETCH(QString, markup);
    mMacro::ShortCuts shortCuts;
    WndMacro w(*platform, *gui, shortCuts);
    w.TextArea1->setPlainText(text);
    QTextCursor c = w.TextArea1->textCursor();
    c.setPosition(caret < 0 ? int(text.size()) : caret);
    w.TextArea1->setTextCursor(c);
    QTest::keyClick(w.TextArea1, Qt::Key_Return);
    QCOMPARE(w.TextArea1->toPlainText(), Shown(markup));
    if (markup.isEmpty()) {
      QCOMPARE(gui->beeps, 1);
      QVERIFY(gui->clipboard.empty());
    } else {
      QCOMPARE(gui->beeps, 0);
      QCOMPARE(gui->clipboard, std::vector<QString>{markup});
    }
    QVERIFY(w.Timer1->isActive());
  }

  void macroOtherKeysAndBeepingExpansions() {
    mMacro::ShortCuts shortCuts;
    WndMacro w(*platform, *gui, shortCuts);
    QTest::keyClicks(w.TextArea1, "ab c");
    QCOMPARE(w.TextArea1->toPlainText(), QStringLiteral("ab c"));
    QVERIFY(!w.Timer1->isActive());
    QVERIFY(gui->clipboard.empty());

    // A repeat item without a name beeps, and the empty result still replaces the clipboard.
    w.TextArea1->setPlainText("*3");
    w.TextArea1->moveCursor(QTextCursor::End);
    QTest::keyClick(w.TextArea1, Qt::Key_Return);
    QCOMPARE(gui->beeps, 1);
    QCOMPARE(gui->clipboard, std::vector<QString>{QString()});

    // An expansion too large to build is abandoned and the clipboard keeps its text.
    w.TextArea1->setPlainText("!*900000000");
    w.TextArea1->moveCursor(QTextCursor::End);
    QTest::keyClick(w.TextArea1, Qt::Key_Tab);
    QCOMPARE(gui->beeps, 2);
    QCOMPARE(gui->clipboard.size(), size_t(1));
    QVERIFY(w.TextArea1->toPlainText().isEmpty());
  }

  void macroContextualMenuFromShortcutsFile() {
    const fs::path file = platform->DocumentsFolder() / "Trimora" / "trimoramacro.txt";
    mMacro::ShortCuts shortCuts;
    {
      WndMacro w(*platform, *gui, shortCuts);
      w.Event_Open();  // no file yet: no menu
      QVERIFY(w.Event_ConstructContextualMenu(&w) == nullptr);
    }
    WriteFile(file, "ul,li*3;\ndiv.main;\n-;\n!.nav*4;\na&b;;");
    WndMacro w(*platform, *gui, shortCuts);
    w.Event_Open();
    std::unique_ptr<QMenu> menu(w.Event_ConstructContextualMenu(nullptr));
    QVERIFY(menu);
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("---") : a->data().toString());
    QCOMPARE(texts, (QStringList{"ul,li*3", "div.main", "---", "!.nav*4", "a&b"}));

    w.TextArea1->setPlainText("old text");
    menu->actions().at(1)->trigger();
    QCOMPARE(w.TextArea1->toPlainText(), QStringLiteral("div.main"));
    QTest::keyClick(w.TextArea1, Qt::Key_Return);  // the caret stands after the inserted entry
    QCOMPARE(gui->clipboard.back(), QStringLiteral("<div class=\"main\">\r</div><!-- End main -->\r"));

    // The list outlives the window and survives a file that has gone in the meantime.
    fs::remove(file);
    WndMacro again(*platform, *gui, shortCuts);
    again.Event_Open();
    std::unique_ptr<QMenu> kept(again.Event_ConstructContextualMenu(nullptr));
    QVERIFY(kept);
    QCOMPARE(kept->actions().size(), 5);
  }

  void macroShowWindowIsSingleAndFloats() {
    WndMacro* w = WndMacro::ShowWindow(*platform, *gui);
    QCOMPARE(WndMacro::ShowWindow(*platform, *gui), w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Trimora Macro Editor"));
    QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(w->size(), QSize(450, 250));
    w->close();
    QTRY_VERIFY(WndMacro::Current() == nullptr);
  }

  // ---- Files modified today -------------------------------------------------------------------

  void todaysFilesListSelectsAndDrags() {
    mPrefs::Prefs prefs;
    const fs::path copy = platform->DesktopFolder() / "shop Compressed";
    WriteModified(copy / "index.html", 7);
    WriteModified(copy / "old.html", 6);
    WriteModified(copy / "sub" / "a.css", 7);
    WndTodaysFiles* w = WndTodaysFiles::ShowWindow(*platform, prefs, copy);
    QVERIFY(prefs.WndTodaysFilesActive);
    QCOMPARE(w->windowTitle(), QStringLiteral("Files Modified Today"));
    QCOMPARE(w->Rows->RowCount(), 2);
    QCOMPARE(w->Rows->Text(0, 0), QStringLiteral("\u223C/index.html"));
    QCOMPARE(w->Rows->Text(1, 0), QStringLiteral("\u223C/sub/a.css"));
    QCOMPARE(w->Listbox1->SelectedRow(), 0);

    // Showing the open window does not search again.
    WriteModified(copy / "new.html", 7);
    QCOMPARE(WndTodaysFiles::ShowWindow(*platform, prefs, copy), w);
    QCOMPARE(w->Rows->RowCount(), 2);

    // A row drags as its file; a row whose file has gone starts no drag.
    std::unique_ptr<QMimeData> mime(w->Rows->mimeData({w->Rows->index(0, 0)}));
    QVERIFY(mime);
    QCOMPARE(mime->urls().value(0).toLocalFile().toStdString(), (copy / "index.html").string());
    fs::remove(copy / "sub" / "a.css");
    QVERIFY(w->Rows->mimeData({w->Rows->index(1, 0)}) == nullptr);

    WndTodaysFiles::CloseWindow();
    QVERIFY(!prefs.WndTodaysFilesActive);
    QTRY_VERIFY(WndTodaysFiles::Current() == nullptr);
    // Opening afresh searches again.
    w = WndTodaysFiles::ShowWindow(*platform, prefs, copy);
    QCOMPARE(w->Rows->RowCount(), 2);
    QCOMPARE(w->Rows->Text(0, 0), QStringLiteral("\u223C/index.html"));
    QCOMPARE(w->Rows->Text(1, 0), QStringLiteral("\u223C/new.html"));
  }

  void todaysFilesWithoutCopyIsEmpty() {
    mPrefs::Prefs prefs;
    WndTodaysFiles w(*platform, prefs, platform->DesktopFolder() / "gone Compressed");
    QCOMPARE(w.Rows->RowCount(), 0);
    QCOMPARE(w.Listbox1->SelectedRow(), -1);
    QVERIFY(prefs.WndTodaysFilesActive);
  }

  // ---- Inspector ------------------------------------------------------------------------------

  void inspectorTogglesAndFollowsSelections() {
    mPrefs::Prefs prefs;
    MenuBar1 bar;
    std::optional<fs::path> selected;
    const WndInspector::Context ctx{*platform, prefs, bar, [&] { return selected; }};

    WndInspector::UpdateIfOpen(platform->root() / "x.html");  // closed: nothing opens
    QVERIFY(WndInspector::Current() == nullptr);

    WndInspector::Toggle(ctx);
    WndInspector* w = WndInspector::Current();
    QVERIFY(w);
    QVERIFY(prefs.isInspectorActive);
    QCOMPARE(bar.ItemText("ToolsShowInspector"), QStringLiteral("Hide Inspector"));
    QVERIFY(w->TextArea1->toPlainText().isEmpty());
    QVERIFY(w->windowTitle().isEmpty());
    QVERIFY(w->TextArea1->isReadOnly());
    QVERIFY(bar.HasHandler(w, "FileCloseWindow"));

    const fs::path western = platform->root() / "site" / "caf\xC3\xA9.html";
    WriteFile(western, "<meta charset=\"windows-1252\">\r\n<p>Caf\xE9 \x80");
    WndInspector::UpdateIfOpen(western);
    QCOMPARE(w->TextArea1->toPlainText(), QStringLiteral("<meta charset=\"windows-1252\">\n<p>Caf\u00E9 \u20AC"));
    QCOMPARE(w->windowTitle(), QStringLiteral("caf\u00E9.html"));

    const fs::path japanese = platform->root() / "site" / "ja.html";
    WriteFile(japanese, "<meta content=\"text/html; charset=shift_jis\">\x93\xFA\x96\x7B");
    WndInspector::UpdateIfOpen(japanese);
    QCOMPARE(w->TextArea1->toPlainText(), QStringLiteral("<meta content=\"text/html; charset=shift_jis\">\u65E5\u672C"));
    QCOMPARE(w->windowTitle(), QStringLiteral("ja.html"));

    // A file deleted since it was selected leaves the inspector as it is.
    WndInspector::UpdateIfOpen(platform->root() / "site" / "gone.html");
    QCOMPARE(w->windowTitle(), QStringLiteral("ja.html"));

    WndInspector::Toggle(ctx);
    QVERIFY(!prefs.isInspectorActive);
    QCOMPARE(bar.ItemText("ToolsShowInspector"), QStringLiteral("Show Inspector"));
    QTRY_VERIFY(WndInspector::Current() == nullptr);

    // Opening again shows the main window's selected file at once.
    selected = western;
    WndInspector::Toggle(ctx);
    QVERIFY(WndInspector::Current());
    QCOMPARE(WndInspector::Current()->windowTitle(), QStringLiteral("caf\u00E9.html"));
    QVERIFY(WndInspector::Current()->_FileCloseWindow_Action());
    QVERIFY(!prefs.isInspectorActive);
    QCOMPARE(bar.ItemText("ToolsShowInspector"), QStringLiteral("Show Inspector"));
  }

  // ---- Validator ------------------------------------------------------------------------------

  void validatorMessages() {
    const fs::path page = platform->DesktopFolder() / "my site Compressed" / "index.html";
    WriteFile(page, "<html>");
    using O = mBundleID::ValidatorOutcome;

    QCOMPARE(gui::RunValidatorCommand(*platform, *gui, nullptr, page), O::NotInstalled);
    QCOMPARE(gui->messages.size(), size_t(1));
    QCOMPARE(gui->messages[0], QStringLiteral("Validator S.A.C\rValidator S.A.C application need to be "
                                              "downloaded from https://habilis.net/validator-sac/"));
    QCOMPARE(gui->openedUrls.size(), size_t(1));
    QCOMPARE(gui->openedUrls[0], QUrl("https://habilis.net/validator-sac/"));

    WriteFile(platform->PreferencesFolder() / "net.habilis.validator-sac.plist", "");
    QCOMPARE(gui::RunValidatorCommand(*platform, *gui, nullptr, std::nullopt), O::NotMarkup);
    QCOMPARE(gui->messages.back(), QStringLiteral("Validator S.A.C\rThis is not an html or xml file!"));

    platform->programExitStatus = 1;
    QCOMPARE(gui::RunValidatorCommand(*platform, *gui, nullptr, page), O::OpenFailed);
    QCOMPARE(gui->messages.back(), QStringLiteral("Error! Open File: index.html"));

    platform->programExitStatus = 0;
    QCOMPARE(gui::RunValidatorCommand(*platform, *gui, nullptr, page), O::Opened);
    QCOMPARE(gui->messages.size(), size_t(3));
    QCOMPARE(gui->openedUrls.size(), size_t(1));
    QCOMPARE(platform->programs.size(), size_t(2));
    QCOMPARE(platform->programs.back().at(3), mBundleID::FileUrl(page));
  }

 private:
  std::unique_ptr<TestPlatform> platform;
  std::unique_ptr<gui::RecordingGuiPlatform> gui;
};

QTEST_MAIN(GuiTools)
#include "gui_tools.moc"
