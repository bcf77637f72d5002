// The main window: site selection and "Always Open" with their preference files, the options,
// and a whole compression behind the progress sheet, with its rows, totals, errors window and
// Cancel.
#include "gui_support.h"

#include "app/GuiFileList.h"
#include "compress/StartInfoWnd.h"
#include "compress/WndCompress.h"
#include "tagcheck/WndFileErr.h"
#include "tools/WndInspector.h"
#include "tools/WndNotiFication.h"
#include "tools/WndTodaysFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QToolButton>

using testing_support::ReadFile;
using testing_support::TreeDigest;
using testing_support::WriteFile;

namespace {

// A small site: one balanced and one unbalanced page, a style sheet, an image, a folder that
// stays behind and a page that is copied but not rewritten.
fs::path MakeSite(const fs::path& parent, const std::string& name = "shop") {
  const fs::path site = parent / name;
  WriteFile(site / "index.html",
            "<!DOCTYPE html>\n<html>\n<body>\n\t<p>Hello   world</p>\n\n</body>\n</html>\n");
  WriteFile(site / "about/team.html", "<!DOCTYPE html>\n<html>\n<body>\n<div>\n<p>x</p>\n</body>\n</html>\n");
  WriteFile(site / "css/site.css", "body {\n\tcolor: red;\n}\n/* note */\n");
  WriteFile(site / "img/logo.png", std::string("\x89PNG\r\n\x1a\n\0\0\t  ", 14));
  WriteFile(site / "_notes/draft.html", "<p>draft</p>\n");
  WriteFile(site / "index copy.html", "<p>old</p>\n");
  return site;
}

// Selects `site` and compresses it; true when the compression has ended.
bool Compress(Harness& h, WndCompress* w, const fs::path& site) {
  h.gui.folderAnswers.push_back(site);
  w->SelectTheFolder();
  QSignalSpy done(w, &WndCompress::compressionFinished);
  w->PushButton2->click();
  return done.wait(10000);
}

bool Activate(QWidget* w) {
  w->activateWindow();
  return QTest::qWaitForWindowActive(w);
}

}  // namespace

class GuiCompressTest : public QObject {
  Q_OBJECT

 private slots:
  void firstStartShowsNoSite() {
    Harness h;
    h.MarkInstalled();
    WndCompress* w = h.Start();
    QVERIFY(w);
    QVERIFY(!w->RadioButton1->isChecked());
    QVERIFY(!w->RadioButton2->isChecked());
    QVERIFY(!w->PushButton2->isEnabled());
    QVERIFY(w->PushButton1->isEnabled());
    QVERIFY(w->Label1->text().isEmpty());
    for (QCheckBox* c : {w->CheckBox1, w->CheckBox2, w->CheckBox3, w->CheckBox4, w->CheckBox5})
      QVERIFY2(c->isChecked(), qPrintable(c->text()));
    QVERIFY(!w->CheckBox6->isChecked());
    QVERIFY(!w->CheckBox7->isChecked());
    QCOMPARE(w->CheckBox6->text(), QStringLiteral("Remove All Linebreaks in  HTML"));
    QCOMPARE(w->centralWidget()->size(), QSize(800, 400));

    // Double-clicking with no remembered file beeps; the help button opens the help page.
    w->Listbox1_DoubleClick();
    QCOMPARE(h.gui.beeps, 1);
    w->PushButton3->click();
    QCOMPARE(h.gui.openedUrls.size(), size_t(1));
    QCOMPARE(h.gui.openedUrls[0].path(), QStringLiteral("/trimora/hlp.html"));
  }

  void selectSiteStoresTheChoiceAndReopensAtTheNextStart() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = MakeSite(h.platform.DocumentsFolder());
    WndCompress* w = h.Start();
    QVERIFY(w);
    w->Rows->AddRow({"∼/old.html", "1 bytes"});
    h.gui.folderAnswers.push_back(site);
    QTest::mouseClick(w->PushButton1, Qt::LeftButton);
    QTRY_VERIFY(w->PushButton2->isEnabled());
    QCOMPARE(w->Rows->RowCount(), 0);
    QCOMPARE(w->Label1->text(), gui::ToQString(site));
    QVERIFY(w->PushButton2->isDefault());
    QVERIFY(w->RadioButton1->isChecked());
    QCOMPARE(h.Pref("Allwaysopen.txt"), std::string("1"));
    QCOMPARE(h.gui.folderDialogs.size(), size_t(1));
    QCOMPARE(h.gui.folderDialogs[0].acceptCaption, QStringLiteral("Select Site Folder"));
    QCOMPARE(h.gui.folderDialogs[0].startIn, h.platform.DocumentsFolder());

    h.app->Quit();
    QCOMPARE(h.Pref("Lastused.txt"), mFile::FolderReference(site));
    w = h.Start();
    QVERIFY(w);
    QVERIFY(w->RadioButton1->isChecked());
    QCOMPARE(w->Label1->text(), gui::ToQString(site));
    QVERIFY(w->PushButton2->isEnabled());

    // A stored site that has gone leaves the window without a site, silently.
    h.app->Quit();
    fs::remove_all(site);
    w = h.Start();
    QVERIFY(w);
    QVERIFY(!w->PushButton2->isEnabled());
    QVERIFY(w->Label1->text().isEmpty());
    QVERIFY(h.gui.messages.empty());
  }

  void selectingRefusesACompressedCopyAndCancelKeepsTheState() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = MakeSite(h.platform.DocumentsFolder());
    const fs::path copy = MakeSite(h.platform.DocumentsFolder(), "shop compressed");
    WndCompress* w = h.Start();
    QVERIFY(w);

    // Cancel at a first start: no site, Compress disabled, the Trimora option chosen.
    w->SelectTheFolder();
    QVERIFY(!w->PushButton2->isEnabled());
    QVERIFY(w->Label1->text().isEmpty());
    QVERIFY(w->RadioButton1->isChecked());

    h.gui.folderAnswers.push_back(site);
    w->SelectTheFolder();
    h.gui.folderAnswers.push_back(copy);
    w->SelectTheFolder();
    QCOMPARE(h.gui.messages.size(), size_t(1));
    QCOMPARE(h.gui.messages[0], QStringLiteral("Error!\rThis Directory is alreday compressed."));
    QCOMPARE(w->Label1->text(), gui::ToQString(site));
    QVERIFY(w->PushButton2->isEnabled());

    // Cancel with a site keeps it; a chosen folder that does not exist shows no site.
    w->SelectTheFolder();
    QCOMPARE(w->Label1->text(), gui::ToQString(site));
    h.gui.folderAnswers.push_back(h.platform.DocumentsFolder() / "gone");
    w->SelectTheFolder();
    QVERIFY(w->Label1->text().isEmpty());
    QVERIFY(!w->PushButton2->isEnabled());
  }

  void brixelOptionNeedsTheBrixelSettings() {
    Harness h;
    h.MarkInstalled();
    WndCompress* w = h.Start();
    QVERIFY(w);
    w->RadioButton2->setChecked(true);
    WndNotiFication* n = WndNotiFication::Current();
    QVERIFY(n);
    QCOMPARE(n->Label1->text(), QStringLiteral("Error!"));
    QCOMPARE(n->Label2->text(), QString::fromUtf8("Can\u00B4t find Brixel Preferences!"));
    QVERIFY(w->RadioButton1->isChecked());
    QCOMPARE(h.Pref("Allwaysopen.txt"), std::string("1"));
    n->close();

    // With the settings, the option follows the project; a deleted project shows no site.
    const fs::path settings = h.platform.ApplicationDataFolder() / "Brixel Editor" / "Settings";
    WriteFile(settings / "ProjectFolder", (h.platform.DocumentsFolder() / "deleted").string());
    w->RadioButton2->setChecked(true);
    QCOMPARE(h.Pref("Allwaysopen.txt"), std::string("2"));
    QVERIFY(!w->PushButton2->isEnabled());
    QVERIFY(w->Label1->text().isEmpty());
  }

  void onlyTheLineBreakOptionsSurviveARestart() {
    Harness h;
    h.MarkInstalled();
    WndCompress* w = h.Start();
    QVERIFY(w);
    w->CheckBox7->setChecked(true);
    w->CheckBox1->setChecked(false);
    QCOMPARE(h.Pref("csslinebreaks.txt"), std::string("1"));
    QVERIFY(h.app->mPrefs.opts.TrimLineBreaksCSS);
    QVERIFY(!h.app->mPrefs.opts.TrimTAB);
    h.app->Quit();
    w = h.Start();
    QVERIFY(w);
    QVERIFY(w->CheckBox7->isChecked());
    QVERIFY(!w->CheckBox6->isChecked());
    QVERIFY(w->CheckBox1->isChecked());
    QVERIFY(h.app->mPrefs.opts.TrimTAB);
  }

  void compressFillsTheListAndOpensTheErrorsWindow() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = MakeSite(h.platform.DocumentsFolder());
    const std::string before = TreeDigest(site);
    WndCompress* w = h.Start();
    QVERIFY(w);
    h.gui.folderAnswers.push_back(site);
    w->SelectTheFolder();

    QSignalSpy done(w, &WndCompress::compressionFinished);
    QTest::keyClick(w, Qt::Key_Return);  // Compress is the default button
    QVERIFY(w->Sheet() && w->Sheet()->isVisible());
    QVERIFY(done.wait(10000));
    QVERIFY(!w->Sheet());
    QVERIFY(!w->IsBusy());

    // One row per rewritten file, in folder order, then the totals row, which is selected.
    const fs::path copy = h.Desktop() / "shop Compressed";
    QCOMPARE(h.app->mGlobals.TheOptimizedFolder, copy);
    QCOMPARE(w->Rows->RowCount(), 4);
    QCOMPARE(w->Rows->Text(0, 0), QStringLiteral("∼/about/team.html"));
    QCOMPARE(w->Rows->Text(1, 0), QStringLiteral("∼/css/site.css"));
    QCOMPARE(w->Rows->Text(2, 0), QStringLiteral("∼/index.html"));
    QCOMPARE(*w->Rows->Tag(2), copy / "index.html");
    QCOMPARE(w->Rows->Text(3, 0), QStringLiteral("Total bytes removed: "));
    QVERIFY(!w->Rows->Tag(3));
    QCOMPARE(w->Listbox1->SelectedRow(), 3);
    qint64 sum = 0;
    for (int r = 0; r < 3; ++r) {
      QVERIFY(w->Rows->Text(r, 1).endsWith(" bytes"));
      sum += w->Rows->Text(r, 1).chopped(6).toLongLong();
    }
    QVERIFY(sum > 0);
    QCOMPARE(w->Rows->Text(3, 1), QString::number(sum) + " bytes");
    QCOMPARE(ReadFile(copy / "img/logo.png"), ReadFile(site / "img/logo.png"));
    QVERIFY(!fs::exists(copy / "_notes"));
    QVERIFY(!fs::exists(copy / "index copy.html"));
    QCOMPARE(TreeDigest(site), before);  // the site itself is never changed
    QVERIFY(!fs::exists(h.Support() / "Tmp") || fs::is_empty(h.Support() / "Tmp"));

    // The unbalanced page is listed in the errors window, row 0 selected.
    QVERIFY(h.app->mGlobals.isWndErrActive);
    WndFileErr* err = h.app->ErrorsWindow(false);
    QVERIFY(err && err->isVisible());
    QCOMPARE(err->Rows->RowCount(), 1);
    QVERIFY(err->Rows->Text(0, 0).startsWith(QStringLiteral("∼/about/team.html <div>")));
    QCOMPARE(err->Listbox1->SelectedRow(), 0);
    QCOMPARE(err->SelectedFileItem, std::optional<fs::path>(copy / "about/team.html"));
    QCOMPARE(h.app->MenuBar().ItemText("ToolsValidatorSAC"), QStringLiteral("Validator S.A.C \"team.html\""));
    // A row whose page has gone: plain caption, no tooltip, the last good page kept.
    err->AddRow("∼/gone.html <p> Tags", copy / "gone.html");
    err->Listbox1->SelectRow(1);
    QCOMPARE(h.app->MenuBar().ItemText("ToolsValidatorSAC"), QStringLiteral("Validator S.A.C"));
    QVERIFY(err->Listbox1->toolTip().isEmpty());
    QCOMPARE(err->SelectedFileItem, std::optional<fs::path>(copy / "about/team.html"));

    // The stripes: row 0 light blue, row 1 near white, while not selected.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    const QImage img = w->Listbox1->viewport()->grab().toImage();
    for (int r : {0, 1}) {
      const QRect rect = w->Listbox1->visualRect(w->Rows->index(r, 0));
      QCOMPARE(img.pixelColor(rect.right() - 2, rect.center().y()), gui::StripeColor(r));
    }
    QCOMPARE(gui::StripeColor(0), QColor(237, 243, 254));
    QCOMPARE(gui::StripeColor(1), QColor(250, 250, 250));

    // Selecting a file row names it in the validator item; the totals row gives the plain
    // caption and leaves the remembered file, which a double click opens.
    w->Listbox1->SelectRow(2);
    QCOMPARE(h.app->MenuBar().ItemText("ToolsValidatorSAC"), QStringLiteral("Validator S.A.C \"index.html\""));
    QCOMPARE(w->Listbox1->toolTip(), gui::ToQString(copy / "index.html"));
    w->Listbox1->SelectRow(3);
    QCOMPARE(h.app->MenuBar().ItemText("ToolsValidatorSAC"), QStringLiteral("Validator S.A.C"));
    QVERIFY(w->Listbox1->toolTip().isEmpty());
    w->Listbox1_DoubleClick();
    QCOMPARE(h.gui.openedUrls.back(), QUrl::fromLocalFile(gui::ToQString(copy / "index.html")));

    // Dragging: a file row carries its file, the totals row nothing.
    std::unique_ptr<QMimeData> drag(w->Rows->mimeData({w->Rows->index(2, 0)}));
    QVERIFY(drag && drag->urls() == QList<QUrl>{QUrl::fromLocalFile(gui::ToQString(copy / "index.html"))});
    QVERIFY(!w->Rows->mimeData({w->Rows->index(3, 0)}));

    // The next Compress closes the errors window first and sends the first copy to the Trash.
    QVERIFY(h.app->MainWindow()->PushButton2->isEnabled());
    w->PushButton2->click();
    QVERIFY(!h.app->mGlobals.isWndErrActive);
    QVERIFY(done.wait(10000));
    QVERIFY(fs::is_directory(h.platform.TrashFolderFor(copy) / "shop Compressed"));
    QCOMPARE(w->Rows->RowCount(), 4);
  }

  void aSiteWithoutFindingsLeavesTheErrorsWindowClosed() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = h.platform.DocumentsFolder() / "plain";
    WriteFile(site / "a.js", "// x\nvar a = 1;\n");
    WriteFile(site / "_lib/b.html", "<html><body><div></body></html>");
    WndCompress* w = h.Start();
    QVERIFY(w);
    h.gui.folderAnswers.push_back(site);
    w->SelectTheFolder();
    QSignalSpy done(w, &WndCompress::compressionFinished);
    w->PushButton2->click();
    QVERIFY(done.wait(10000));
    QCOMPARE(w->Rows->RowCount(), 2);
    QCOMPARE(w->Rows->Text(0, 0), QStringLiteral("∼/a.js"));
    QVERIFY(!h.app->mGlobals.isWndErrActive);
    QVERIFY(!h.app->ErrorsWindow(false));
    QVERIFY(h.gui.messages.empty());
  }

  void cancelLeavesTheListEmptyAndThePartialCopy() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = MakeSite(h.platform.DocumentsFolder());
    WndCompress* w = h.Start();
    QVERIFY(w);
    h.gui.folderAnswers.push_back(site);
    w->SelectTheFolder();
    w->Rows->AddRow({"∼/old.html", "1 bytes"});

    QSignalSpy done(w, &WndCompress::compressionFinished);
    h.platform.Arm();  // the copy waits at its start until Cancel has been pressed
    w->PushButton2->click();
    QCOMPARE(w->Rows->RowCount(), 0);
    StartInfoWnd* sheet = w->Sheet();
    QVERIFY(sheet && sheet->isVisible());
    QCOMPARE(sheet->Label1->text(), QStringLiteral("Copying the Site to Desktop"));
    QVERIFY(sheet->ProgressWheel1->IsSpinning());
    QVERIFY(!w->PushButton1->isEnabled());
    QTRY_VERIFY(h.platform.Reached());
    QTRY_VERIFY(sheet->Label1->text().isEmpty());  // the first copy has made no folder yet
    sheet->PushButton1->click();
    sheet->PushButton1->click();  // twice is the same as once
    QVERIFY(sheet->isVisible());  // Cancel stops nothing by itself
    h.platform.Release();
    QVERIFY(done.wait(10000));

    QVERIFY(!w->Sheet());
    QCOMPARE(w->Rows->RowCount(), 0);
    QVERIFY(fs::is_directory(h.Desktop() / "shop Compressed"));
    QVERIFY(fs::is_empty(h.Desktop() / "shop Compressed"));
    QVERIFY(!h.app->ErrorsWindow(false));
    QVERIFY(w->PushButton2->isEnabled());
  }

  void copyFailuresAreListedInTheErrorsWindow() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = h.platform.DocumentsFolder() / "links";
    WriteFile(site / "index.html", "<p>x</p>\n");
    fs::create_symlink(site / "missing.html", site / "broken.html");
    WndCompress* w = h.Start();
    QVERIFY(w);
    h.gui.folderAnswers.push_back(site);
    w->SelectTheFolder();
    QSignalSpy done(w, &WndCompress::compressionFinished);
    w->PushButton2->click();
    QVERIFY(done.wait(10000));
    QCOMPARE(w->Rows->RowCount(), 2);
    WndFileErr* err = h.app->ErrorsWindow(false);
    QVERIFY(err);
    QCOMPARE(err->Rows->RowCount(), 1);
    QCOMPARE(err->Rows->Text(0, 0), QStringLiteral("Not copied: ∼/broken.html (broken link)"));
    QVERIFY(!err->Rows->Tag(0));
  }

  void toolsFollowTheSelectionOfTheFrontWindow() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = MakeSite(h.platform.DocumentsFolder());
    WndCompress* w = h.Start();
    QVERIFY(w);
    App& app = *h.app;
    // The inspector opened before the run shows the first page of the errors window after it.
    QVERIFY(Activate(w));
    QVERIFY(app.MenuBar().Trigger("ToolsShowInspector"));
    WndInspector* inspector = WndInspector::Current();
    QVERIFY(inspector && app.mPrefs.isInspectorActive);
    QVERIFY(inspector->TextArea1->toPlainText().isEmpty());
    QVERIFY(Compress(h, w, site));
    WndFileErr* err = app.ErrorsWindow(false);
    QVERIFY(err);
    QCOMPARE(inspector->windowTitle(), QStringLiteral("team.html"));

    // It follows the main window's selection and closes with the same command.
    w->Listbox1->SelectRow(2);
    QCOMPARE(inspector->windowTitle(), QStringLiteral("index.html"));
    w->Listbox1->SelectRow(1);
    QCOMPARE(inspector->windowTitle(), QStringLiteral("site.css"));
    QVERIFY(Activate(w));
    QVERIFY(app.MenuBar().Trigger("ToolsShowInspector"));
    QTRY_VERIFY(!WndInspector::Current());
    QVERIFY(!app.mPrefs.isInspectorActive);

    // The validator acts on the selection of the window in front.
    WriteFile(h.platform.PreferencesFolder() / "net.habilis.validator-sac.plist", "");
    QVERIFY(Activate(err));
    QVERIFY(app.MenuBar().Trigger("ToolsValidatorSAC"));
    QVERIFY(Activate(w));
    w->Listbox1->SelectRow(2);
    QVERIFY(app.MenuBar().Trigger("ToolsValidatorSAC"));
    QCOMPARE(h.platform.programs.size(), size_t(2));
    QVERIFY(QString::fromStdString(h.platform.programs[0].back()).endsWith("/about/team.html"));
    QVERIFY(QString::fromStdString(h.platform.programs[1].back()).endsWith("/shop%20Compressed/index.html"));

    // Files modified today: the copy's files keep the dates of the site, which the test
    // platform's clock puts in the past, so the list is empty; Compress closes the window.
    QVERIFY(app.MenuBar().Trigger("ToolsShowTodaysModifiedFiles"));
    QVERIFY(WndTodaysFiles::Current() && app.mPrefs.WndTodaysFilesActive);
    QSignalSpy done(w, &WndCompress::compressionFinished);
    w->PushButton2->click();
    QTRY_VERIFY(!WndTodaysFiles::Current());
    QVERIFY(!app.mPrefs.WndTodaysFilesActive);
    QVERIFY(done.wait(10000));
  }

  void aCopyThatWouldTrashTheSiteIsRefused() {
    Harness h;
    h.MarkInstalled();
    // The site lies inside the earlier copy that a new compression would send to the Trash.
    const fs::path site = MakeSite(h.Desktop() / "shop Compressed");
    const std::string before = TreeDigest(h.Desktop());
    WndCompress* w = h.Start();
    QVERIFY(w);
    QVERIFY(Compress(h, w, site));
    QCOMPARE(h.gui.messages.size(), size_t(1));
    QVERIFY(h.gui.messages[0].startsWith(QStringLiteral("Error!\r")));
    QCOMPARE(TreeDigest(h.Desktop()), before);
    QCOMPARE(w->Rows->RowCount(), 0);

    // A site folder removed after it was chosen is refused the same way.
    const fs::path gone = MakeSite(h.platform.DocumentsFolder(), "gone");
    h.gui.folderAnswers.push_back(gone);
    w->SelectTheFolder();
    fs::remove_all(gone);
    QSignalSpy done(w, &WndCompress::compressionFinished);
    w->PushButton2->click();
    QVERIFY(done.wait(10000));
    QCOMPARE(h.gui.messages.size(), size_t(2));
    QCOMPARE(w->Rows->RowCount(), 0);
    QVERIFY(!fs::exists(h.Desktop() / "gone Compressed"));
  }

  void aSiteInTheTrashIsRefused() {
    Harness h;
    h.MarkInstalled();
    const fs::path site = MakeSite(h.platform.TrashFolders().front() / "files");
    WndCompress* w = h.Start();
    QVERIFY(w);
    h.gui.folderAnswers.push_back(site);
    w->SelectTheFolder();
    w->PushButton2->click();
    QCOMPARE(h.gui.messages.size(), size_t(1));
    QCOMPARE(h.gui.messages[0], QStringLiteral("Error!\rThis Directory is in Trash."));
    QVERIFY(!w->IsBusy());
    QVERIFY(!fs::exists(h.Desktop() / "shop Compressed"));
  }
};

TRIMORA_GUI_TEST_MAIN(GuiCompressTest)
#include "gui_compress.moc"
