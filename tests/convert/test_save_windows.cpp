// The output dialogs, the single save, the size estimate and the folder save on the real
// windows, with scripted message boxes and file dialogs and a script for the modal windows.

#include "convert/adjust_window.h"
#include "convert/options_window.h"
#include "convert/quality_window.h"
#include "convert/results_window.h"
#include "formats/bmp/bmp.h"
#include "formats/file_io.h"
#include "formats/sizing.h"
#include "platform/long_operation.h"
#include "support/corpus.h"
#include "support/folder_digest.h"
#include "support/library_samples.h"
#include "support/modal_script.h"
#include "support/outside_tool.h"
#include "support/recording_desktop.h"
#include "support/recording_host.h"
#include "support/result_lines.h"
#include "support/window_fixture.h"
#include "viewers/picture_viewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace {

class SaveWindowsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        viewer = std::make_unique<TFrmpic>(session);
        adjust = std::make_unique<TFrmadjust>(session);
        comp = std::make_unique<TFrmcomp>(session, adjust.get());
        options = std::make_unique<TFrmoptions>(session, adjust.get());
        results = std::make_unique<TFrmresults>(session, adjust.get());
        ASSERT_TRUE(pictures.isValid() && stored.isValid());
        session.StoredImagesFolder = stored.path() + QLatin1Char('/');
    }
    void TearDown() override {
        results.reset();
        options.reset();
        comp.reset();
        adjust.reset();
        viewer.reset();
        session.StoredImagesFolder.clear();
        WindowTest::TearDown();
    }

    QString note(int n) {
        return child<QLabel>(adjust.get(), QStringLiteral("Lblnote%1").arg(n).toLatin1())->text();
    }
    void loadOne(const QString& path) {
        adjust->UseSelection(false, {});
        ASSERT_EQ(adjust->LoadIntoAdjustWindow(path, true, true), LoadOutcome::Loaded);
    }
    void useFolder() { adjust->UseSelection(true, pictures.path() + QLatin1Char('/')); }
    QString picture(int w, int h, const QString& name) {
        const QString path = pictures.filePath(name);
        SaveBitmapAsBmp(PatternBitmap(w, h), path);
        return path;
    }
    void exact(const QString& w, const QString& h) {
        child<QRadioButton>(adjust.get(), "RadCalculate")->click();
        child<QLineEdit>(adjust.get(), "EdW")->setText(w);
        child<QLineEdit>(adjust.get(), "EdH")->setText(h);
        child<QPushButton>(adjust.get(), "Button1")->click();
    }
    void save() {
        child<QPushButton>(adjust.get(), "Cmdsave")->click();
        EXPECT_TRUE(script.done()) << script.opened.join(",").toStdString();
    }
    QSize sizeOf(const QString& path) {
        Picture p;
        EXPECT_EQ(LoadPictureFile(path, p), LoadOutcome::Loaded) << path.toStdString();
        return {p.width(), p.height()};
    }
    QString storedFile(const QString& name) { return stored.filePath(name); }

    RecordingHost host;
    ModalScript script;
    QTemporaryDir pictures, stored;
    std::unique_ptr<TFrmpic> viewer;
    std::unique_ptr<TFrmadjust> adjust;
    std::unique_ptr<TFrmcomp> comp;
    std::unique_ptr<TFrmoptions> options;
    std::unique_ptr<TFrmresults> results;
};

TEST_F(SaveWindowsTest, DialogsAtCreationAndTheQualityWords) {
    EXPECT_TRUE(child<QRadioButton>(options.get(), "Radjpeg")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(options.get(), "Radicon")->isVisibleTo(options.get()));
    EXPECT_FALSE(child<QRadioButton>(options.get(), "Radicon")->isEnabled());
    EXPECT_EQ(child<QLabel>(comp.get(), "Lblnumber")->text(), "75");
    EXPECT_EQ(child<QScrollBar>(comp.get(), "ScrollBar1")->value(), 75);
    EXPECT_EQ(comp->Quality(), 75);
    EXPECT_EQ(results->LineCount(), 0);
    EXPECT_EQ(options->windowTitle(), "Pixolet");
    EXPECT_EQ(comp->windowTitle(), "Choose JPEG Compression Level");
    EXPECT_EQ(results->windowTitle(), "Image Results and Stored Folders");

    const struct {
        int q;
        const char *quality, *compression;
    } words[] = {{74, "Medium", "Medium"}, {75, "High", "Low"}, {49, "Low", "High"},
                 {50, "Medium", "Medium"}, {1, "Low", "High"},  {100, "High", "Low"}};
    for (const auto& w : words) {
        child<QScrollBar>(comp.get(), "ScrollBar1")->setValue(w.q);
        EXPECT_EQ(child<QLabel>(comp.get(), "Lblnumber")->text(), QString::number(w.q));
        EXPECT_EQ(child<QLabel>(comp.get(), "LblQuality")->text(), w.quality) << w.q;
        EXPECT_EQ(child<QLabel>(comp.get(), "LblComp")->text(), w.compression) << w.q;
    }
    // A second quality window keeps 75 only when its label starts empty: a new one does.
    Session another;
    EXPECT_EQ(TFrmcomp(another).Quality(), 75);
}

TEST_F(SaveWindowsTest, TifByTheCloseBoxThenCancelKeepingTheLastChoice) {
    loadOne(picture(60, 40, "src.bmp"));
    const QString typed = pictures.filePath("out.jpg");
    script.expect("Frmoptions", [](QWidget* w) {
        child<QRadioButton>(w, "RadTif")->setChecked(true);
        w->close();
    });
    boxes.saveAnswers.push_back({typed, 1});
    save();
    ASSERT_EQ(boxes.saveDialogsAsked.size(), 1u);
    const FileDialogOptions& asked = boxes.saveDialogsAsked[0];
    EXPECT_EQ(asked.defaultExtension, "TIF");
    EXPECT_EQ(asked.initialName, "*.TIF");
    ASSERT_EQ(asked.filters.size(), 1u);
    EXPECT_EQ(asked.filters[0].description, "Tif (*.TIF)");
    EXPECT_EQ(asked.filters[0].patterns, "*.TIF");
    EXPECT_FALSE(QFile::exists(typed));
    EXPECT_EQ(sizeOf(pictures.filePath("out.TIF")), QSize(60, 40));
    EXPECT_EQ(note(1), "New image has been saved at: ");
    EXPECT_EQ(note(2), typed);
    EXPECT_TRUE(boxes.shown.empty());

    // The next save opens with TIF still chosen; Cancel writes and changes nothing.
    bool tifStillChosen = false;
    script.expect("Frmoptions", [&](QWidget* w) {
        tifStillChosen = child<QRadioButton>(w, "RadTif")->isChecked();
        child<QRadioButton>(w, "Radcancel")->setChecked(true);
        child<QPushButton>(w, "BitBtn1")->click();
    });
    save();
    EXPECT_TRUE(tifStillChosen);
    EXPECT_EQ(boxes.saveDialogsAsked.size(), 1u);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Information);
    EXPECT_EQ(boxes.shown[0].text, "You chose cancel, nothing was done.");
    EXPECT_EQ(adjust->SaveDialog1().defaultExtension, "TIF");
    EXPECT_EQ(note(2), typed);

    // A cancelled file dialog: nothing written, nothing said.
    script.expect("Frmoptions", Choose("Radbitmap"));
    save();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(QDir(pictures.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(SaveWindowsTest, AJpegSaveNeverClaimsToReplaceAnExistingFile) {
    loadOne(picture(64, 48, "src.bmp"));
    const QString existing = pictures.filePath("taken.JPG");
    WriteWholeFile(existing, "keep me", false);
    script.expect("Frmoptions", Choose("Radjpeg"));
    script.expect("Frmcomp", Quality(90));
    boxes.saveAnswers.push_back({existing, 1});
    save();
    EXPECT_EQ(ReadFileBytes(existing), "keep me");
    EXPECT_EQ(results->Lines(), QStringList{AlreadyExistsLine(existing)});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Information);
    EXPECT_TRUE(boxes.shown[0].text.contains(existing));
    EXPECT_TRUE(boxes.shown[0].text.contains("not replaced"));
    EXPECT_EQ(note(1), "");
    ASSERT_EQ(boxes.saveDialogsAsked.size(), 1u);
    EXPECT_EQ(boxes.saveDialogsAsked[0].filters[0].description, "Jpeg (*.JPG)");

    const QString fresh = pictures.filePath("fresh.JPG");
    script.expect("Frmoptions", Choose("Radjpeg"));
    script.expect("Frmcomp", Quality(90));
    boxes.saveAnswers.push_back({fresh, 1});
    save();
    EXPECT_EQ(sizeOf(fresh), QSize(64, 48));
    EXPECT_EQ(results->Lines().last(), CreatedLine(fresh));
    EXPECT_EQ(note(1), "New image has been saved at: ");
    EXPECT_EQ(note(2), fresh);
    EXPECT_EQ(comp->Quality(), 90);
}

TEST_F(SaveWindowsTest, BmpSaveRedrawsThePreviewFirst) {
    loadOne(picture(100, 80, "src.bmp"));
    exact("30", "20");
    const QString target = pictures.filePath("exact.BMP");
    script.expect("Frmoptions", Choose("Radbitmap"));
    boxes.saveAnswers.push_back({target, 1});
    save();
    EXPECT_EQ(sizeOf(target), QSize(30, 20));
    EXPECT_TRUE(child<QLineEdit>(adjust.get(), "EdW")->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>(adjust.get(), "EdH")->text().isEmpty());
    EXPECT_FALSE(adjust->ExactSizeSet());

    // An exact size left over after going back to percent mode gives way to the slider; a
    // BMP replaces the file there.
    child<QScrollBar>(adjust.get(), "ScrollBar1")->setValue(50);
    exact("33", "11");
    child<QRadioButton>(adjust.get(), "RadPercent")->click();
    script.expect("Frmoptions", Choose("Radbitmap"));
    boxes.saveAnswers.push_back({target, 1});
    save();
    EXPECT_EQ(sizeOf(target), QSize(50, 40));
    EXPECT_TRUE(
        SamePixels(DecodeBmp(ReadFileBytes(target)), StretchPicture(adjust->ImageSave(), 50, 40)));
}

TEST_F(SaveWindowsTest, TheEstimateTwiceGivesTheSameSizesInTheWorkFolder) {
    loadOne(picture(120, 90, "src.bmp"));
    child<QScrollBar>(comp.get(), "ScrollBar1")->setValue(90);
    QPushButton* calculate = child<QPushButton>(adjust.get(), "Cmdcalculate");
    calculate->click();
    const QStringList first{note(1), note(2), note(3), note(4), note(5), note(6)};
    calculate->click();
    EXPECT_EQ((QStringList{note(1), note(2), note(3), note(4), note(5), note(6)}), first);
    const QDir work(session.WorkFolder);
    const auto bytes = [&](const char* name) {
        return QString::number(QFileInfo(work.filePath(name)).size());
    };
    EXPECT_EQ(note(1), "New Jpeg Size = " + bytes("Temp.jpg") + " bytes. (Compression at 90)");
    EXPECT_EQ(note(2), "New Bitmap Size = " + bytes("Temp.bmp") + " bytes.");
    EXPECT_EQ(note(3), "New Tif Size = " + bytes("Temp.tif") + " bytes.");
    EXPECT_EQ(note(4), "New Meta Size = " + bytes("Temp.emf") + " bytes.");
    EXPECT_EQ(note(5), "New Png Size = " + bytes("Temp.png") + " bytes.");
    EXPECT_EQ(note(6), "New WebP Size = " + bytes("Temp.webp") + " bytes. (Compression at 90)");
    // 54-byte headers and 120 × 90 × 3 bytes of pixels (rows already a multiple of 4).
    EXPECT_EQ(bytes("Temp.bmp"), QString::number(54 + 120 * 90 * 3));
    EXPECT_EQ(results->Lines(),
              (QStringList{
                  CreatedLine(work.filePath("Temp.jpg")), CreatedLine(work.filePath("Temp.emf")),
                  CreatedLine(work.filePath("Temp.jpg")), CreatedLine(work.filePath("Temp.emf"))}));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join("|").toStdString();
}

// One folder run, watched from inside: what the windows show while each file is done.
struct RunWatch {
    QStringList progress;  // Lblnote2 after each file
    QStringList counts;    // Lblcount after each file
    bool saveEnabled = true, resultsEnabled = false, resultsShown = false, resultsModal = true;
};

// One file of every kind through the windows: a folder run to PNG makes each at half its own
// size, upright; a WebP asks the quality first; neither replaces a file.
TEST_F(SaveWindowsTest, EveryKindConvertsToPngAndWebpAtItsOwnSize) {
    SKIP_WITHOUT_CORPUS();
    REQUIRE_TOOLS(tool::kPillow, tool::kHeifEnc);
    ASSERT_TRUE(WriteEachLibraryKind(pictures.path(), {"a.heic", "b.avif", "c.png", "d.webp"}));
    const std::pair<const char*, const char*> files[] = {
        {"tiff/libtiffpic/depth/flower-rgb-contig-16.tif", "e.tiff"},
        {"jpeg/exif-orientation/Portrait_6.jpg", "f.jpeg"},
        {"gif/gdk-pixbuf/test-animation.gif", "g.gif"}};
    for (const auto& [corpus, name] : files)
        ASSERT_TRUE(QFile::copy(corpusDir() + "/" + corpus, pictures.filePath(name))) << name;
    picture(64, 48, "h.bmp");
    std::vector<QSize> halves;
    for (const char* name : {"a.heic", "b.avif", "c.png", "d.webp", "e.tiff", "f.jpeg", "g.gif"}) {
        const QSize whole = sizeOf(pictures.filePath(name));
        halves.push_back(ScaledSize(whole.width(), whole.height(), 50));
    }
    halves.push_back({32, 24});
    useFolder();
    child<QScrollBar>(adjust.get(), "ScrollBar1")->setValue(50);
    for (const char* type : {"RadPng", "RadWebp"}) {
        SCOPED_TRACE(type);
        script.expect("Frmchoice", [](QWidget* w) { child<QPushButton>(w, "BitBtn1")->click(); });
        script.expect("Frmoptions", Choose(type));
        const bool webp = QByteArray(type) == "RadWebp";
        if (webp) script.expect("Frmcomp", Quality(40));
        save();
        const QString extension = webp ? ".WEBP" : ".PNG";
        ASSERT_EQ(results->LineCount(), 8);
        for (int i = 0; i < 8; ++i) {
            const QString made = storedFile(QString(QChar('a' + i)) + extension);
            EXPECT_EQ(results->Lines()[i], CreatedLine(made));
            EXPECT_EQ(sizeOf(made), halves[size_t(i)]) << made.toStdString();
        }
    }
    // A second run finds every file there and leaves it.
    const QByteArray before = ReadFileBytes(storedFile("a.PNG"));
    script.expect("Frmchoice", [](QWidget* w) { child<QPushButton>(w, "BitBtn1")->click(); });
    script.expect("Frmoptions", Choose("RadPng"));
    save();
    EXPECT_EQ(results->Lines().first(), AlreadyExistsLine(storedFile("a.PNG")));
    EXPECT_EQ(ReadFileBytes(storedFile("a.PNG")), before);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join("|").toStdString();
    EXPECT_TRUE(host.messages.isEmpty()) << host.messages.join("|").toStdString();
}

TEST_F(SaveWindowsTest, AFolderRunToJpegWithTwoFilesOfOneName) {
    SKIP_WITHOUT_CORPUS();
    ASSERT_TRUE(QFile::copy(corpusDir() + "/gif/gdk-pixbuf/test-animation.gif",
                            pictures.filePath("a.gif")));
    picture(100, 100, "a.bmp");
    picture(640, 480, "b.bmp");
    useFolder();
    child<QScrollBar>(adjust.get(), "ScrollBar1")->setValue(25);

    RunWatch watch;
    host.onProcessMessages = [&] {
        // The GIF decoder lets events run too: a file's turn is when its name shows.
        if (note(2).isEmpty() || (!watch.progress.isEmpty() && watch.progress.last() == note(2)))
            return;
        watch.progress << note(2);
        watch.counts << results->Lblcount()->text();
        watch.saveEnabled =
            watch.saveEnabled && child<QPushButton>(adjust.get(), "Cmdsave")->isEnabled();
        watch.resultsEnabled = results->isEnabled();
        watch.resultsShown = results->isVisible();
        watch.resultsModal = results->isModal();
    };
    QString title;
    script.expect("Frmchoice", [&](QWidget* w) {
        title = child<QLabel>(w, "Lbltitle")->text();
        EXPECT_TRUE(child<QRadioButton>(w, "RadAll")->isChecked());
        child<QPushButton>(w, "BitBtn1")->click();
    });
    script.expect("Frmoptions", Choose("Radjpeg"));
    script.expect("Frmcomp", Quality(75));
    save();

    EXPECT_EQ(
        title,
        "Select the image types that you would like to have converted (Note that all original "
        "images remain untouched. New images will be created.)  You have selected to create "
        "the new images at 25% percent of the original image size.");
    // a.bmp is listed before a.gif: it makes a.JPG and a.gif finds it there.
    EXPECT_EQ(results->Lines(),
              (QStringList{CreatedLine(storedFile("a.JPG")), AlreadyExistsLine(storedFile("a.JPG")),
                           CreatedLine(storedFile("b.JPG"))}));
    EXPECT_EQ(sizeOf(storedFile("a.JPG")), QSize(25, 25));
    EXPECT_EQ(sizeOf(storedFile("b.JPG")), QSize(160, 120));
    EXPECT_EQ(adjust->ProcessedCount(), 3);
    EXPECT_EQ(watch.progress,
              (QStringList{"Processing -> a.bmp", "Processing a.gif", "Processing b.bmp"}));
    EXPECT_EQ(watch.counts[0],
              "Please be patient. Reading File #0 File name: " + pictures.filePath("a.bmp"));
    EXPECT_EQ(watch.counts[2],
              "Please be patient. Reading File #2 File name: " + pictures.filePath("b.bmp"));
    EXPECT_FALSE(watch.saveEnabled);
    EXPECT_TRUE(watch.resultsEnabled);
    EXPECT_TRUE(watch.resultsShown);
    EXPECT_FALSE(watch.resultsModal);
    EXPECT_TRUE(child<QPushButton>(adjust.get(), "Cmdsave")->isEnabled());
    EXPECT_TRUE(results->Lblcount()->text().startsWith(
        "Finished. Total Files = 3  Note the folder location of your new files, shown in the box "
        "above."));
    EXPECT_EQ(note(1), "");
    EXPECT_EQ(note(2), "");
    // The list scrolls far enough to read the longest path.
    const int widest =
        results->ListBox1()->fontMetrics().horizontalAdvance(CreatedLine(storedFile("a.JPG")));
    EXPECT_EQ(results->ListBox1()->item(0)->sizeHint().width(), widest + 400);

    // The same run again writes nothing new.
    script.expect("Frmchoice", Choose("RadAll"));
    script.expect("Frmoptions", Choose("Radjpeg"));
    script.expect("Frmcomp", Quality(75));
    save();
    EXPECT_EQ(results->LineCount(), 3);
    for (const QString& line : results->Lines())
        EXPECT_TRUE(line.startsWith("  File already exists -> ")) << line.toStdString();
}

TEST_F(SaveWindowsTest, ExactSizeForEveryFileAndTheTitles) {
    loadOne(picture(100, 100, "a.bmp"));
    picture(640, 480, "b.bmp");
    useFolder();
    const auto titleOfRun = [&](const char* output) {
        QString title;
        script.expect("Frmchoice", [&](QWidget* w) {
            title = child<QLabel>(w, "Lbltitle")->text();
            child<QPushButton>(w, "BitBtn1")->click();
        });
        script.expect("Frmoptions", Choose(output));
        save();
        return title.mid(title.indexOf("  You have") + 2);
    };
    EXPECT_EQ(titleOfRun("Radcancel"),
              "You have selected to create new image types, and keep the same image size.");
    EXPECT_EQ(boxes.texts(), QStringList{"You chose cancel, nothing was done."});
    child<QScrollBar>(adjust.get(), "ScrollBar1")->setValue(50);
    EXPECT_EQ(
        titleOfRun("Radcancel"),
        "You have selected to create the new images at 50% percent of the original image size.");
    exact("120", "90");
    EXPECT_EQ(titleOfRun("RadTif"),
              "You have selected to create the new images at  percent of the original image size.");
    EXPECT_EQ(sizeOf(storedFile("a.TIF")), QSize(120, 90));
    EXPECT_EQ(sizeOf(storedFile("b.TIF")), QSize(120, 90));
    EXPECT_EQ(boxes.texts().size(), 2);
}

TEST_F(SaveWindowsTest, AMaskThatMatchesNothing) {
    picture(20, 20, "a.bmp");
    useFolder();
    script.expect("Frmchoice", Choose("RadOnlyGif"));
    script.expect("Frmoptions", Choose("Radmetafile"));
    save();
    EXPECT_EQ(results->Lines(), (QStringList{"** No images of type *.GIF found in this folder",
                                             "** Select a different type or different folder"}));
    EXPECT_EQ(results->Lblcount()->text(), "");
    EXPECT_EQ(adjust->ProcessedCount(), 0);
    EXPECT_TRUE(QDir(stored.path()).isEmpty());
}

TEST_F(SaveWindowsTest, ADamagedFileStopsTheRunKeepingWhatWasDone) {
    picture(20, 20, "a.bmp");
    WriteWholeFile(pictures.filePath("b.jpg"), "no JPEG in here", false);
    picture(20, 20, "c.bmp");
    useFolder();
    script.expect("Frmchoice", Choose("RadAll"));
    script.expect("Frmoptions", Choose("Radbitmap"));
    save();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::ErrorReport);
    EXPECT_EQ(results->Lines(), QStringList{CreatedLine(storedFile("a.BMP"))});
    EXPECT_FALSE(QFile::exists(storedFile("c.BMP")));
    EXPECT_TRUE(results->Lblcount()->text().startsWith("Please be patient. Reading File #0"));
    EXPECT_EQ(note(1), "Processing images. Please be patient.");
    EXPECT_EQ(adjust->ProcessedCount(), 2);
    // The run is over: saving works again.
    EXPECT_FALSE(LongOperation::running());
    EXPECT_TRUE(child<QPushButton>(adjust.get(), "Cmdsave")->isEnabled());
}

TEST_F(SaveWindowsTest, TheProgressBarCountsTheRunsFilesBesideTheTextsAndGoesAtTheEnd) {
    picture(20, 20, "a.bmp");
    WriteWholeFile(pictures.filePath("notes.txt"), "not an image", false);
    picture(20, 20, "b.bmp");
    picture(30, 20, "c.GIF.bmp");
    WriteWholeFile(pictures.filePath("d.gif"), "GIF89a", false);  // not in a BMP-only run
    useFolder();
    QProgressBar* bar = results->ProgressBar1();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->objectName(), "ProgressBar1");
    EXPECT_FALSE(bar->isVisibleTo(results.get()));

    struct Seen {
        bool visible;
        int value, maximum;
    };
    std::vector<Seen> seen;
    QString lastNote;
    host.onProcessMessages = [&] {
        if (note(2).isEmpty() || note(2) == lastNote) return;
        lastNote = note(2);
        seen.push_back({bar->isVisibleTo(results.get()), bar->value(), bar->maximum()});
    };
    script.expect("Frmchoice", Choose("Radbmp"));
    script.expect("Frmoptions", Choose("Radbitmap"));
    save();

    ASSERT_EQ(seen.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(seen[i].visible) << i;
        EXPECT_EQ(seen[i].value, i + 1) << i;
        EXPECT_EQ(seen[i].maximum, 3) << "the run's own files, not the folder's";
    }
    EXPECT_FALSE(bar->isVisibleTo(results.get()));
    EXPECT_TRUE(results->Lblcount()->text().startsWith("Finished. Total Files = 3"));
    // Placed clear of the list, the count and the Ok button.
    for (const char* name : {"Panel1", "Lblcount", "BitBtn1", "Label1"})
        EXPECT_FALSE(bar->geometry().intersects(child<QWidget>(results.get(), name)->geometry()))
            << name;

    // A run stopped by a damaged file takes the bar away too.
    WriteWholeFile(pictures.filePath("b2.bmp"), "BM damaged", false);
    script.expect("Frmchoice", Choose("Radbmp"));
    script.expect("Frmoptions", Choose("Radmetafile"));
    save();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_FALSE(bar->isVisibleTo(results.get()));
}

TEST_F(SaveWindowsTest, ADoubleClickedResultLineOpensItsFileOrTheExistingFilesFolder) {
    RecordingDesktop desktop;
    const QString made = storedFile("a.JPG");
    const QString existing = storedFile("b.JPG");
    WriteWholeFile(made, "x", false);
    WriteWholeFile(existing, "x", false);
    results->AddResult(WriteOutcome::Written, made);
    results->AddResult(WriteOutcome::AlreadyExisted, existing);
    results->AddLine("** Select a different type or different folder");
    results->AddResult(WriteOutcome::Written, storedFile("moved away.JPG"));
    results->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(results.get()));
    const auto doubleClick = [&](int row) {
        QListWidget* list = results->ListBox1();
        const QRect at = list->visualItemRect(list->item(row));
        // As a mouse sends it: the press, then the double click.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at.center());
    };

    doubleClick(0);
    doubleClick(1);
    doubleClick(2);
    EXPECT_EQ(desktop.openedFiles, (QStringList{made, stored.path() + QDir::separator()}));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join("|").toStdString();

    doubleClick(3);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(boxes.shown[0].text, storedFile("moved away.JPG") + " is no longer there.");
    EXPECT_EQ(desktop.openedFiles.size(), 2);

    desktop.succeeds = false;
    doubleClick(0);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text,
              "The desktop could not open " + made + ". No program may be set up to open it.");
    results->hide();
}

TEST_F(SaveWindowsTest, OneRunAtATimeAndACloseWaitsForTheEnd) {
    picture(20, 20, "a.bmp");
    picture(20, 20, "b.bmp");
    useFolder();
    adjust->show();
    int secondRuns = 0;
    bool visibleDuringRun = false;
    host.onProcessMessages = [&] {
        if (secondRuns++ > 0) return;
        // A save and a close that arrive while the run lets events through.
        adjust->CmdsaveClick();
        adjust->CmdcalculateClick();
        adjust->close();
        visibleDuringRun = adjust->isVisible();
    };
    script.expect("Frmchoice", Choose("RadAll"));
    script.expect("Frmoptions", Choose("Radbitmap"));
    save();
    EXPECT_TRUE(visibleDuringRun);
    EXPECT_EQ(results->LineCount(), 2);
    EXPECT_EQ(note(3), "");  // the estimate did not run
    EXPECT_FALSE(QFile::exists(QDir(session.WorkFolder).filePath("Temp.jpg")));
    // The close happens on the next turn of the event loop after the run.
    QApplication::processEvents();
    EXPECT_FALSE(adjust->isVisible());
}

// The window's folder save and pixolet-batch run one engine: the same bytes and the same lines
// (the window on one worker per core, the command on one), a damaged file in the middle
// included.
TEST_F(SaveWindowsTest, TheWindowAndTheCommandWriteTheSameFilesAndLines) {
    SKIP_WITHOUT_CORPUS();
    for (const char* photo : {"jpeg/pillow/flower.jpg", "jpeg/image-rs/progressive-3.jpg",
                              "jpeg/pillow/hopper_orientation_7.jpg", "gif/pillow/hopper.gif"})
        ASSERT_TRUE(
            QFile::copy(corpusDir() + '/' + photo, pictures.filePath(QFileInfo(photo).fileName())));
    picture(33, 21, "small.bmp");
    useFolder();
    child<QScrollBar>(adjust.get(), "ScrollBar1")->setValue(20);
    QTemporaryDir commandOut;
    const auto compare = [&](bool damaged) {
        QDir(stored.path()).removeRecursively();
        QDir().mkpath(stored.path());
        script.expect("Frmchoice", Choose("RadAll"));
        script.expect("Frmoptions", Choose("Radjpeg"));
        script.expect("Frmcomp", Quality(75));
        save();
        const QString out = commandOut.filePath(damaged ? "damaged" : "whole");
        QByteArray lines;
        EXPECT_EQ(
            runProgram(PIXOLET_BATCH,
                       {pictures.path(), out, "--percent", "20", "--jpeg", "75", "--jobs", "1"},
                       &lines),
            damaged ? 1 : 0);
        QString windowLines = results->Lines().join('\n') + '\n';
        EXPECT_EQ(windowLines.replace(stored.path(), "OUT").toStdString(),
                  QString::fromUtf8(lines).replace(out, "OUT").toStdString());
        EXPECT_TRUE(FolderDigest(stored.path()) == FolderDigest(out));
    };
    compare(false);
    WriteWholeFile(pictures.filePath("hopper.jpg"), "no JPEG in here", false);
    compare(true);
    EXPECT_EQ(FolderEntries(stored.path()), (QStringList{"flower.JPG", "hopper.JPG"}));
}

// Stop ends the run after the files in flight: a last line with the count, nothing half-made in
// the folder, the button gone with the bar, and no web page offered.
TEST_F(SaveWindowsTest, StopEndsTheRunAfterTheFilesInFlight) {
    for (int i = 0; i < 12; ++i)
        picture(300, 200, QStringLiteral("p%1.bmp").arg(i, 2, 10, QChar('0')));
    useFolder();
    QTemporaryDir pages;
    session.WebpagesFolder = pages.path() + QLatin1Char('/');
    session.ThumbWebpageWanted = true;
    QPushButton* stop = child<QPushButton>(results.get(), "Cmdstop");
    ASSERT_NE(stop, nullptr);
    EXPECT_FALSE(stop->isVisibleTo(results.get()));
    bool shownDuringRun = false;
    host.onProcessMessages = [&] {
        if (note(2) != "Processing p01.bmp" || !stop->isEnabled()) return;
        shownDuringRun = stop->isVisibleTo(results.get());
        stop->click();
    };
    script.expect("Frmchoice", Choose("RadAll"));
    script.expect("Frmoptions", Choose("RadTif"));
    save();
    EXPECT_TRUE(shownDuringRun);
    EXPECT_FALSE(stop->isVisibleTo(results.get()));
    const QStringList lines = results->Lines();
    ASSERT_GE(lines.size(), 3);
    const int converted = int(lines.size()) - 1;
    EXPECT_LT(converted, 12);
    EXPECT_EQ(lines.last(), QStringLiteral("** Stopped: %1 of 12 files converted").arg(converted));
    QStringList written;
    for (int i = 0; i < converted; ++i)
        written << QStringLiteral("p%1.TIF").arg(i, 2, 10, QChar('0'));
    EXPECT_EQ(FolderEntries(stored.path()), written);
    EXPECT_TRUE(results->Lblcount()->text().startsWith(
        QStringLiteral("Stopped. Total Files = %1  Note").arg(converted)));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(QDir(pages.path()).isEmpty());
    session.ThumbWebpageWanted = false;
    session.WebpagesFolder.clear();
}

// Files the run cannot take each get a line saying why and one message for the run; a run of
// nothing but such files does not claim that the folder has no images.
TEST_F(SaveWindowsTest, SkippedFilesSayWhyAndTheRunTellsOnce) {
    SKIP_WITHOUT_CORPUS();
    picture(20, 20, "a.bmp");
    for (const char* name : {"b.tif", "c.tif"})
        ASSERT_TRUE(
            QFile::copy(corpusDir() + "/tiff/libtiffpic/depth/flower-minisblack-06.tif", pictures.filePath(name)));
    picture(20, 20, "d.bmp");
    useFolder();
    script.expect("Frmchoice", Choose("RadAll"));
    script.expect("Frmoptions", Choose("Radbitmap"));
    save();
    const QStringList lines = results->Lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], CreatedLine(storedFile("a.BMP")));
    EXPECT_TRUE(lines[1].startsWith("  Skipped -> " + pictures.filePath("b.tif") + "  ("));
    EXPECT_TRUE(lines[2].startsWith("  Skipped -> " + pictures.filePath("c.tif") + "  ("));
    EXPECT_EQ(lines[3], CreatedLine(storedFile("d.BMP")));
    EXPECT_EQ(
        host.messages,
        QStringList{"2 files were not converted. The results list names each one and says why."});
    EXPECT_TRUE(results->Lblcount()->text().startsWith("Finished. Total Files = 2  Note"));
    EXPECT_TRUE(results->Lblcount()->text().endsWith("  2 skipped: the list says why."));

    host.messages.clear();
    script.expect("Frmchoice", Choose("Radtif"));
    script.expect("Frmoptions", Choose("Radbitmap"));
    save();
    EXPECT_EQ(results->LineCount(), 2);
    EXPECT_EQ(results->Lines().filter("** No images").size(), 0);
    EXPECT_EQ(host.messages.size(), 1);
    EXPECT_TRUE(results->Lblcount()->text().startsWith("Finished. Total Files = 0"));
}

// The web page of thumbnails rides on the folder run: only JPEG sources are copied, the page is
// asked for after the run, and a BMP run writes the two pages but opens nothing.
TEST_F(SaveWindowsTest, TheThumbnailWebPageFollowsTheRun) {
    SKIP_WITHOUT_CORPUS();
    RecordingDesktop desktop;
    QTemporaryDir pages;
    session.WebpagesFolder = pages.path() + QLatin1Char('/');
    session.ThumbWebpageWanted = true;
    ASSERT_TRUE(
        QFile::copy(corpusDir() + "/jpeg/pillow/flower2.jpg", pictures.filePath("beach.jpg")));
    ASSERT_TRUE(
        QFile::copy(corpusDir() + "/gif/pillow/hopper.gif", pictures.filePath("flowers.gif")));
    useFolder();
    child<QScrollBar>(adjust.get(), "ScrollBar1")->setValue(20);
    boxes.confirmAnswers = {true, true};
    script.expect("Frmchoice", Choose("RadAll"));
    script.expect("Frmoptions", Choose("Radjpeg"));
    script.expect("Frmcomp", Quality(75));
    save();

    QStringList written = QDir(pages.path()).entryList(QDir::Files);
    written.sort();
    EXPECT_EQ(written,
              (QStringList{"IT_beach.jpg", "T_beach.jpg", "index.html", "main.html", "menu.html"}));
    EXPECT_EQ(ReadFileBytes(pages.filePath("T_beach.jpg")), ReadFileBytes(storedFile("beach.JPG")));
    EXPECT_EQ(ReadFileBytes(pages.filePath("IT_beach.jpg")),
              ReadFileBytes(pictures.filePath("beach.jpg")));
    EXPECT_EQ(desktop.openedFiles, QStringList{pages.filePath("index.html")});
    ASSERT_EQ(boxes.questions().size(), 1u);
    EXPECT_EQ(boxes.questions()[0].kind, MessageKind::Information);
    EXPECT_TRUE(boxes.texts().last().startsWith("Your webpage is now displayed for you."));
    EXPECT_TRUE(results->Lblcount()->text().startsWith("Finished. Total Files = 2 "));

    QFile::remove(pages.filePath("index.html"));
    script.expect("Frmchoice", Choose("RadAll"));
    script.expect("Frmoptions", Choose("Radbitmap"));
    save();
    EXPECT_FALSE(QFile::exists(pages.filePath("index.html")));
    EXPECT_EQ(desktop.openedFiles.size(), 1);
    EXPECT_TRUE(boxes.texts().last().startsWith("No JPG thumbnails were created."));
    session.ThumbWebpageWanted = false;
    session.WebpagesFolder.clear();
}

}  // namespace
