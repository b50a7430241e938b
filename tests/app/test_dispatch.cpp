// The picks and Continue on the real windows: the main window, the size-adjustment window and the
// single image viewer, with scripted dialogs and folders of their own.
#include "app/selection.h"
#include "app/settings_file.h"
#include "platform/picture_box.h"
#include "support/all_windows.h"
#include "support/modal_script.h"
#include "support/recording_host.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

namespace {

const QChar sep = QDir::separator();

using DispatchTest = AllWindowsTest;

TEST_F(DispatchTest, FolderPickListsTheFolderThenASinglePickKeepsTheList) {
    QLabel* lblFolder = rename->LblFolder;
    const QString sample = bmp(400, 300, "a.bmp");
    file("B.GIF");
    file("c.txt");
    pickFolder(sample);
    const QString folder = pictures.path() + sep;

    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join("|").toStdString();
    EXPECT_TRUE(main->selection.FolderSelected);
    EXPECT_FALSE(main->selection.OneImageSelected);
    EXPECT_EQ(main->selection.SelectedFolder, folder);
    EXPECT_EQ(lblFolder->text(), folder);
    EXPECT_EQ(session.FolderImages.FolderImageCount, 2);
    EXPECT_EQ(session.FolderImages.FolderImageNames, QStringList({"a.bmp", "B.GIF"}));
    EXPECT_EQ(adjustText("Lblsize"),
              "2 Images Found -> 0 Jpeg, 1 Gif, 1 Bitmap, 0 Metafile, 0 Icon, 0 Tif");
    EXPECT_EQ(adjustText("Lbldetails"), "Images In Folder:");
    EXPECT_EQ(adjustText("Lblname"), "Folder Name Chosen:");
    EXPECT_EQ(adjustText("LblImageName"), folder);
    EXPECT_EQ(adjustText("Lbltitle"),
              "You are working with all images in the folder " + folder +
                  ". One image is displayed below as a sample so you can view the size "
                  "adjustment. When you click the save button, other options will appear for "
                  "naming and saving all images in this folder. Slide the scroll bar below to "
                  "adjust the image sizes, then click the save button to create your new images.");
    EXPECT_EQ(main->LblChosen->text(), "Folder Chosen -> " + folder);
    EXPECT_EQ(main->LblSizeAndWidth->text(), "You are working with all images in this folder.");
    EXPECT_EQ(main->Lblinfo->text(),
              "Now select an option below, then click \"Next Page\". You can make thumbnail "
              "images, convert image types, use the image viewer, or adjust image sizes larger "
              "or smaller, then save.");
    EXPECT_EQ(main->Image1->size(), QSize(104, 78));
    EXPECT_EQ(main->Image1->picture().width(), 400);
    EXPECT_EQ(IniFile(session.SettingsFile).readString("History", "Last Dir", {}), folder);

    // A single image from elsewhere: the folder and its list stay, the flags switch.
    QDir(pictures.path()).mkdir("one");
    const QString tall = bmp(300, 400, "one/tall.bmp");
    pickImage(tall);
    EXPECT_TRUE(main->selection.OneImageSelected);
    EXPECT_FALSE(main->selection.FolderSelected);
    EXPECT_EQ(main->selection.SelectedImage, tall);
    EXPECT_EQ(main->selection.SelectedFolder, folder);
    EXPECT_EQ(session.FolderImages.FolderImageCount, 2);
    EXPECT_EQ(lblFolder->text(), folder);
    const qint64 bytes = QFileInfo(tall).size();
    EXPECT_EQ(main->Image1->size(), QSize(58, 78));
    EXPECT_EQ(main->LblChosen->text(), "Image Chosen -> tall.bmp");
    EXPECT_EQ(main->LblSizeAndWidth->text(), QString("Image is 300 x 400, %1 bytes").arg(bytes));
    EXPECT_EQ(main->Lblinfo->text(), "Now select an option below, then click \"Next Page\"");
    EXPECT_EQ(adjustText("Lblsize"), QString::number(bytes));
    EXPECT_EQ(adjustText("Lbldetails"), "Original Image Size:");
    EXPECT_EQ(adjustText("Lblname"), "Original Image Name:");
    EXPECT_EQ(adjustText("LblImageName"), "tall.bmp");
    EXPECT_TRUE(adjustText("Lbltitle").startsWith("Slide the scroll bar below or choose"));
    EXPECT_EQ(IniFile(session.SettingsFile).readString("History", "Last Dir", {}),
              pictures.path() + sep + "one" + sep);
    EXPECT_EQ(boxes.openDialogsAsked.back().startFolder, folder) << "starts where the last pick was";

    // A cancelled dialog changes nothing.
    main->Cmdfolder->click();
    EXPECT_TRUE(main->selection.OneImageSelected);
}

TEST_F(DispatchTest, AFileThatFailsToLoadKeepsThePreviousSelection) {
    const QString good = bmp(200, 200, "good.bmp");
    pickImage(good);
    const QString chosen = main->LblChosen->text();

    pickImage(file("damaged.bmp", "BM not a bitmap at all"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::ErrorReport);
    EXPECT_EQ(main->selection.SelectedImage, good);
    EXPECT_EQ(main->LblChosen->text(), chosen);
    EXPECT_EQ(main->Image1->size(), QSize(78, 78));
    EXPECT_EQ(adjust->ImageSave().width(), 200);

    // A TIFF the reader refuses: its own message, no second box, nothing changes.
    RecordingHost host;
    const QString refused = file("refused.tif", QByteArray("MM\0\x2a\0\0\0\x08\0\0", 10));
    pickImage(refused);
    pickFolder(refused);
    EXPECT_EQ(host.messages.size(), 2);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(main->selection.OneImageSelected);
    EXPECT_FALSE(main->selection.FolderSelected);
    EXPECT_EQ(main->selection.SelectedImage, good);
    EXPECT_EQ(main->LblChosen->text(), chosen);
}

// Dropping on the main window as a file manager would: the drag enters, then the drop.
// Returns whether the window took the drag.
bool drop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPointF at(target->width() / 2, target->height() / 2);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    return true;
}

TEST_F(DispatchTest, ADroppedImageOrFolderIsPickedAsTheButtonsWould) {
    const QString wide = bmp(400, 300, "b.bmp");
    bmp(300, 400, "A.bmp");  // first in listing order although made second
    file("notes.txt", "x");

    ASSERT_TRUE(drop(main.get(), {QUrl::fromLocalFile(pictures.path())}));
    const QString folder = pictures.path() + sep;
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join("|").toStdString();
    EXPECT_TRUE(main->selection.FolderSelected);
    EXPECT_FALSE(main->selection.OneImageSelected);
    EXPECT_EQ(main->selection.SelectedFolder, folder);
    EXPECT_EQ(session.FolderImages.FolderImageNames, QStringList({"A.bmp", "b.bmp"}));
    EXPECT_EQ(main->Image1->picture().width(), 300) << "the sample is the first listed image";
    EXPECT_EQ(main->LblChosen->text(), "Folder Chosen -> " + folder);
    EXPECT_EQ(IniFile(session.SettingsFile).readString("History", "Last Dir", {}), folder);
    EXPECT_TRUE(boxes.openDialogsAsked.empty()) << "a drop asks for nothing";

    // One image file: the single pick.
    ASSERT_TRUE(drop(main.get(), {QUrl::fromLocalFile(wide)}));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join("|").toStdString();
    EXPECT_TRUE(main->selection.OneImageSelected);
    EXPECT_FALSE(main->selection.FolderSelected);
    EXPECT_EQ(main->selection.SelectedImage, wide);
    EXPECT_EQ(main->LblChosen->text(), "Image Chosen -> b.bmp");
    EXPECT_EQ(main->LblSizeAndWidth->text(),
              QString("Image is 400 x 300, %1 bytes").arg(QFileInfo(wide).size()));

    // Dropped on a control inside the window: the window still takes it.
    ASSERT_TRUE(drop(main->Image1, {QUrl::fromLocalFile(pictures.filePath("A.bmp"))}));
    EXPECT_EQ(main->selection.SelectedImage, pictures.filePath("A.bmp"));
}

TEST_F(DispatchTest, ADropThatIsNotOneImageOrAFolderOfImagesIsRefusedAndChangesNothing) {
    const QString image = bmp(200, 100, "pic.bmp");
    pickImage(image);
    const QString chosen = main->LblChosen->text();
    QDir(pictures.path()).mkdir("empty");
    const QString empty = pictures.filePath("empty");
    const QString text = file("readme.txt", "hello");

    EXPECT_FALSE(drop(main.get(), {QUrl("https://pixolet.example/a.jpg")}))
        << "only local files are taken";
    ASSERT_TRUE(drop(main.get(), {QUrl::fromLocalFile(text)}));
    ASSERT_TRUE(drop(main.get(), {QUrl::fromLocalFile(image), QUrl::fromLocalFile(image)}));
    ASSERT_TRUE(drop(main.get(), {QUrl::fromLocalFile(empty)}));
    ASSERT_TRUE(drop(main.get(), {QUrl::fromLocalFile(pictures.filePath("gone.bmp"))}));

    ASSERT_EQ(boxes.shown.size(), 4u) << boxes.texts().join("|").toStdString();
    for (const auto& box : boxes.shown) EXPECT_EQ(box.kind, MessageKind::Warning);
    const QString oneThing =
        "Drop one image file (JPG, GIF, BMP, ICO, EMF or TIF) or one folder of images here.";
    EXPECT_EQ(boxes.shown[0].text, oneThing);
    EXPECT_EQ(boxes.shown[1].text, oneThing);
    EXPECT_EQ(boxes.shown[2].text, "The folder " + empty + sep +
                                       " holds no images that Pixolet can open (JPG, GIF, BMP, "
                                       "ICO, EMF or TIF).");
    EXPECT_EQ(boxes.shown[3].text, oneThing);
    EXPECT_TRUE(main->selection.OneImageSelected);
    EXPECT_EQ(main->selection.SelectedImage, image);
    EXPECT_EQ(main->LblChosen->text(), chosen);

    // While a run holds the picks off, a drop does nothing at all.
    main->Cmdimage->setEnabled(false);
    main->Cmdfolder->setEnabled(false);
    ASSERT_TRUE(drop(main.get(), {QUrl::fromLocalFile(text)}));
    EXPECT_EQ(boxes.shown.size(), 4u);
}

TEST_F(DispatchTest, TheNoteOnlyForAFolderPickInsideTheCurrentProjectFolder) {
    QDir().mkpath(storedRoot());
    const QString inside = storedRoot() + "inside.bmp";
    {
        Bitmap b;
        b.create(4, 4, 24);
        Picture p;
        p.assign(b);
        p.saveToFile(inside);
    }
    pickFolder(inside);
    EXPECT_TRUE(boxes.shown.empty()) << "no project folder before the first Continue";

    main->RadRename->setChecked(true);
    EXPECT_EQ(continueAnd(), "FrmRename");
    EXPECT_EQ(session.StoredImagesFolder, storedRoot());
    EXPECT_TRUE(boxes.inputsAsked.empty());

    pickImage(inside);
    EXPECT_TRUE(boxes.shown.empty()) << "a single pick never gets the note";
    pickFolder(inside);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Plain);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("NOTE: This folder is used for storing"));
    EXPECT_TRUE(main->selection.FolderSelected) << "the pick goes on after the note";
}

TEST_F(DispatchTest, TheProjectStepNamesCreatesAndReusesTheFolders) {
    pickFolder(bmp(40, 30, "a.bmp"));

    // Cancel gives back the pre-filled text, which names the project.
    bool hiddenIsMaster = false;
    EXPECT_EQ(continueAnd([&] {
                  hiddenIsMaster = adjust->ImageHidden().width() == 40;
                  adjust->close();
              }),
              "Frmadjust");
    ASSERT_EQ(boxes.inputsAsked.size(), 1u);
    EXPECT_EQ(boxes.inputsAsked[0].caption, "Enter a project name or title");
    EXPECT_EQ(boxes.inputsAsked[0].prompt, "Enter a title to help you identify this project:");
    EXPECT_EQ(boxes.inputsAsked[0].prefilled, "Enter Any Title Here");
    EXPECT_EQ(session.StoredImagesFolder, storedRoot() + "Enter Any Title Here" + sep);
    EXPECT_EQ(session.WebpagesFolder, pagesRoot() + "Enter Any Title Here" + sep);
    EXPECT_TRUE(QFileInfo(session.StoredImagesFolder).isDir());
    EXPECT_TRUE(QFileInfo(session.WebpagesFolder).isDir());
    EXPECT_TRUE(hiddenIsMaster);
    EXPECT_TRUE(boxes.shown.empty());

    // The same title again: told once per folder, and on into the task.
    boxes.inputAnswers.push_back("Enter Any Title Here");
    EXPECT_EQ(continueAnd(), "Frmadjust");
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Information);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("The project title already exists"));
    EXPECT_TRUE(boxes.shown[0].text.endsWith("located at: " + storedRoot() +
                                             "Enter Any Title Here" + sep));
    EXPECT_TRUE(boxes.shown[1].text.endsWith("located at: " + pagesRoot() +
                                             "Enter Any Title Here" + sep));
    boxes.shown.clear();

    // Only spaces: refused, nothing opens.
    boxes.inputAnswers.push_back("   ");
    EXPECT_EQ(continueAnd(), "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("No name was entered."));
    boxes.shown.clear();

    // Leading spaces stay in the folder's name.
    boxes.inputAnswers.push_back("  Beach");
    EXPECT_EQ(continueAnd(), "Frmadjust");
    EXPECT_TRUE(QFileInfo(storedRoot() + "  Beach").isDir());
    EXPECT_TRUE(QFileInfo(pagesRoot() + "  Beach").isDir());
    EXPECT_EQ(session.ProjectTitle, "  Beach" + QString(sep));

    // A title that would reach outside the work folder: the folder error, nothing made.
    const QStringList before = QDir(session.WorkFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString& title : {QString("../../escaped"), QString(".."), QString("a/b")}) {
        boxes.inputAnswers.push_back(title);
        EXPECT_EQ(continueAnd(), "") << title.toStdString();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].kind, MessageKind::Error);
        EXPECT_TRUE(boxes.shown[0].text.endsWith(
            "Please contact support@pixolet.example if you continue to have trouble."));
        boxes.shown.clear();
    }
    EXPECT_FALSE(QFileInfo(appData.path() + sep + "escaped").exists());
    EXPECT_FALSE(QFileInfo(storedRoot() + "a").exists());
    EXPECT_EQ(QDir(session.WorkFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

TEST_F(DispatchTest, NoTitleForViewingRenamingIndexingOrOneImage) {
    pickFolder(bmp(20, 10, "a.bmp"));
    bmp(8, 8, "late.bmp");
    main->Radviewer->setChecked(true);
    EXPECT_EQ(continueAnd(), "Frmfolderview");
    EXPECT_EQ(session.FolderImages.FolderImageCount, 2) << "the viewer lists the folder again";
    main->RadRename->setChecked(true);
    EXPECT_EQ(continueAnd(), "FrmRename");
    main->RadWebpage->setChecked(true);
    continueAnd();
    EXPECT_TRUE(boxes.inputsAsked.empty());
    EXPECT_FALSE(QFileInfo::exists(storedRoot()));
    // The index went into the pictures' own folder and was shown.
    EXPECT_EQ(desktop.openedFiles, QStringList{pictures.filePath("index.html")});
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].startsWith("Your webpage is created in the same folder"));
    boxes.shown.clear();

    pickImage(bmp(20, 10, "b.bmp"));
    main->RadChange->setChecked(true);
    EXPECT_EQ(continueAnd(), "Frmadjust");
    main->RadRename->setChecked(true);
    EXPECT_EQ(continueAnd(), "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("This option allows you to rename an entire"));
    EXPECT_TRUE(boxes.inputsAsked.empty());
    EXPECT_FALSE(QFileInfo::exists(storedRoot()));
    EXPECT_EQ(session.StoredImagesFolder, storedRoot()) << "the bare roots after every Continue";
    EXPECT_EQ(session.WebpagesFolder, pagesRoot());
}

TEST_F(DispatchTest, ThumbnailWebPageNeedsAFolder) {
    // Nothing selected: the refusal, and the thumbnail option has taken over.
    main->RadThumbWebpage->setChecked(true);
    EXPECT_EQ(continueAnd(), "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("Please select an image or folder of images"));
    EXPECT_TRUE(main->Radthumb->isChecked());
    EXPECT_TRUE(session.ThumbWebpageWanted);
    boxes.shown.clear();

    pickImage(bmp(20, 10, "b.bmp"));
    main->RadThumbWebpage->setChecked(true);
    EXPECT_EQ(continueAnd(), "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("You have only selected 1 image. If you wish"));
    EXPECT_TRUE(main->RadThumbWebpage->isChecked());

    // With a folder: the project, the flag, and the adjust window for thumbnails.
    pickFolder(bmp(20, 10, "c.bmp"));
    boxes.inputAnswers.push_back("Pages");
    main->RadThumbWebpage->setChecked(true);
    EXPECT_EQ(continueAnd(), "Frmadjust");
    EXPECT_TRUE(session.ThumbWebpageWanted);
    EXPECT_TRUE(main->Radthumb->isChecked());
    EXPECT_TRUE(QFileInfo(pagesRoot() + "Pages").isDir());

    main->RadChange->setChecked(true);
    continueAnd();
    EXPECT_FALSE(session.ThumbWebpageWanted) << "kept only until the next Continue";
}

TEST_F(DispatchTest, ViewerOpensOnASinglePickAndFromTheSample) {
    adjust->findChild<QLabel*>("Lblnote1")->setText("left over");
    // The sample clicked with nothing picked: the refusal.
    main->Image1Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(adjustText("Lblnote1").isEmpty()) << "the notes are emptied on every Continue";

    main->Chkopenviewer->setChecked(true);
    main->Radthumb->setChecked(true);
    QSize shown;
    QTimer::singleShot(0, [&] {
        if (session.windows.Frmpic->isVisible()) shown = QSize(session.windows.Frmpic->ReferencePicture().width(), session.windows.Frmpic->ReferencePicture().height());
        session.windows.Frmpic->close();
    });
    pickImage(bmp(30, 20, "v.bmp"));
    EXPECT_EQ(shown, QSize(30, 20)) << "auto-open: the pick ends in the viewer";
    EXPECT_TRUE(main->Radviewer->isChecked());

    main->Chkopenviewer->setChecked(false);
    main->Radthumb->setChecked(true);
    QTimer::singleShot(0, [&] {
        shown = session.windows.Frmpic->isVisible() ? session.windows.Frmpic->ViewSize() : QSize();
        session.windows.Frmpic->close();
    });
    main->Image1Click();
    EXPECT_EQ(shown, QSize(30, 20));
    EXPECT_TRUE(main->Radviewer->isChecked());
}

TEST_F(DispatchTest, ExitFromTheAdjustWindowEndsTheProgramWithSettingsSaved) {
    bool ended = false;
    QObject::connect(main.get(), &TFrmfirst::closed, [&] { ended = true; });
    pickImage(bmp(20, 10, "b.bmp"));
    main->Radconvert->setChecked(true);
    main->RadChange->setChecked(true);
    EXPECT_EQ(continueAnd([&] { adjust->findChild<QPushButton*>("BitBtn5")->click(); }),
              "Frmadjust");
    EXPECT_TRUE(ended);
    EXPECT_FALSE(main->isVisible());
    const IniFile ini(session.SettingsFile);
    EXPECT_TRUE(ini.readBool("Screen", "Change", false));
    EXPECT_FALSE(ini.readBool("Screen", "Convert", true));
    EXPECT_NE(ini.readInteger("Frmfirst", "W", 0), 0);

    // The next Continue starts with the flag down again.
    session.ExitRequested = true;
    main->RadRename->setChecked(true);
    continueAnd();
    EXPECT_FALSE(session.ExitRequested);
}

TEST_F(DispatchTest, ConversionRunsTheFolderSaveAtFullSizeWithoutTheWindow) {
    pickFolder(bmp(40, 30, "a.bmp"));
    bmp(20, 10, "b.bmp");
    adjust->findChild<QScrollBar*>("ScrollBar1")->setValue(50);
    main->Radconvert->setChecked(true);
    boxes.inputAnswers.push_back("conv");

    RecordingHost host;
    bool mainLive = false, adjustShown = false;
    host.onProcessMessages = [&] {
        mainLive = mainLive || main->Cmdnext->isEnabled();
        adjustShown = adjustShown || adjust->isVisible();
    };
    ModalScript script;
    QString title;
    script.expect("Frmchoice", [&](QWidget* w) {
        title = w->findChild<QLabel*>("Lbltitle")->text();
        w->findChild<QPushButton*>("BitBtn1")->click();
    });
    script.expect("Frmoptions", [](QWidget* w) {
        w->findChild<QRadioButton*>("Radbitmap")->setChecked(true);
        w->close();
    });
    main->Cmdnext->click();
    host.onProcessMessages = {};  // the loads below let events run too

    EXPECT_TRUE(script.done()) << script.opened.join(",").toStdString();
    EXPECT_TRUE(title.endsWith("You have selected to create new image types, and keep the same "
                               "image size."));
    const QString stored = storedRoot() + "conv" + sep;
    EXPECT_EQ(results->Lines(), (QStringList{"  Successfully Created -> " + stored + "a.BMP",
                                            "  Successfully Created -> " + stored + "b.BMP"}));
    Picture a, b;
    ASSERT_EQ(LoadPictureFile(stored + "a.BMP", a), LoadOutcome::Loaded);
    ASSERT_EQ(LoadPictureFile(stored + "b.BMP", b), LoadOutcome::Loaded);
    EXPECT_EQ(QSize(a.width(), a.height()), QSize(40, 30));
    EXPECT_EQ(QSize(b.width(), b.height()), QSize(20, 10));
    EXPECT_FALSE(mainLive);
    EXPECT_FALSE(adjustShown);
    EXPECT_TRUE(main->Cmdnext->isEnabled());
    EXPECT_EQ(main->LblSizeAndWidth->text(), "");
    EXPECT_EQ(main->Lblinfo->text(), "");  // the run ended by emptying Lblnote1
}

}  // namespace
