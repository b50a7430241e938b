// A hostile folder through every window: a few thousand files, among them empty, cut and damaged
// files of every kind, a folder and a pipe named like pictures, broken links, and names with
// blanks, quotes, markup, percent signs, line breaks, other scripts, bytes that are no UTF-8 and
// 255 bytes. The picks, the thumbnail and conversion runs, the folder viewer, both web pages and
// the renamer go over it as a person would, with every message box counted. Nothing may open the
// pipe, write outside the work folder and the chosen folder, or change a source; every image a
// run meets ends with one result line, and a damaged file stops a run where it lies.
#include "app/picture_index.h"
#include "convert/batch.h"
#include "convert/web_pages.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/test_gif_builder.h"  // tests/formats: the GIF decoder tests' file builder
#include "formats/text_utils.h"
#include "platform/error_report.h"
#include "platform/file_system.h"
#include "platform/picture_box.h"
#include "rename/rename_rule.h"
#include "support/all_windows.h"
#include "support/folder_digest.h"
#include "support/modal_script.h"
#include "support/pattern_bitmap.h"
#include "support/recording_host.h"
#include "support/result_lines.h"

#include <QBuffer>
#include <QImageWriter>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <atomic>
#include <map>
#include <set>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Names in failure messages as text, not as lists of bytes.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Every kind the program reads; of HEIC, the last, only damaged files are made.
const char* const kKinds[] = {".jpg", ".gif", ".bmp",  ".ico", ".emf",
                              ".tif", ".png", ".webp", ".heic"};
constexpr int kMadeKinds = 8;

// A w x h file of the kind, made once: by the program's writers where it writes the kind, else
// by the GIF builder, by Qt's icon writer, or as a HEIC brand with nothing readable after it.
QByteArray Encoded(const QString& ext, int w, int h) {
    static std::map<std::tuple<QString, int, int>, QByteArray> made;
    QByteArray& bytes = made[{ext, w, h}];
    if (!bytes.isEmpty()) return bytes;
    const Bitmap bitmap = PatternBitmap(w, h);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (ext == ".gif") {
        giftest::Gif gif;
        gif.globalTable = giftest::rampTable(16);
        gif.frames.resize(1);
        gif.frames[0].width = w;
        gif.frames[0].height = h;
        gif.frames[0].pixels = giftest::noiseImage(w, h, 16, 7);
        buffer.write(giftest::build(gif));
    } else if (ext == ".ico") {
        QImageWriter(&buffer, "ico").write(bitmap.toQImage());
    } else if (ext == ".heic") {
        buffer.write(QByteArray::fromHex("00000018") + "ftypheic" + QByteArray(4, 0) + "mif1heic" +
                     QByteArray(w * h, 1));
    }
    for (const OutputFormat& format : OutputFormats()) {
        if (format.extension.compare(ext, Qt::CaseInsensitive) != 0) continue;
        QTemporaryDir scratch;
        Picture picture;
        picture.assign(bitmap);
        WriteOutputFile(format.type, scratch.filePath("made"), picture, {});
        bytes = ReadFileBytes(scratch.filePath("made"));
    }
    // The program's metafiles frame the whole screen; one from a drawing program frames its
    // picture (0.01 mm at 96 dpi), which keeps the runs quick.
    const qint32 frame[] = {0, 0, qRound(w * 2540 / 96.0), qRound(h * 2540 / 96.0)};
    if (ext == ".emf") bytes.replace(24, 16, reinterpret_cast<const char*>(frame), 16);
    EXPECT_FALSE(bytes.isEmpty()) << qPrintable(ext);
    return bytes;
}

// Ways a file of the kind is damaged: empty, cut, its signature broken, noise, text, or another
// kind's bytes under its extension.
std::vector<std::pair<const char*, QByteArray>> Damaged(const QString& ext) {
    const QByteArray good = Encoded(ext, 24, 18);
    QByteArray badMagic = good, noise(good.size(), '\0');
    badMagic[0] = char(~badMagic[0]);
    badMagic[1] = char(~badMagic[1]);
    giftest::Rng rng(uint32_t(good.size()));
    for (char& c : noise) c = char(rng.next());
    return {{"empty", {}},
            {"header cut", good.left(12)},
            {"cut in half", good.left(good.size() / 2)},
            {"one byte short", good.chopped(1)},
            {"bad signature", badMagic},
            {"noise", noise},
            {"text", "this is not a picture\n"},
            {"other kind", Encoded(ext == ".bmp" ? ".jpg" : ".bmp", 24, 18)}};
}

// Names that break programs: markup and URL characters, quotes, blanks where they get lost,
// control characters, other scripts, wildcards and separators of other systems.
const char* const kHostileStems[] = {
    "with blank",   " leading blank", "trailing blank ", "it's",           "say \"cheese\"",
    "amp & ersand", "hash #1",        "percent 100%",    "escaped %41%20", "question?",
    "star*",        "[brackets]",     "less<than>",      "back\\slash",    "-dash first",
    "..dots",       "café",           "日本語の写真",    "emoji 🌄",        "עברית",
    "line\nbreak",  "tab\there",      "\x1b[31mred"};

// Every entry below the roots by raw path, as find(1) sees it without opening it: its kind,
// and but for a folder (whose size and times follow its entries) its size, time and link target.
using Tree = std::map<QByteArray, QByteArray>;
Tree Walk(const QStringList& roots) {
    QProcess find;
    find.start("find",
               roots + QStringList{"-mindepth", "1", "(", "-type", "d", "-printf", "%p\\0d\\0", ")",
                                   "-o", "-printf", "%p\\0%y %s %T@ %l\\0"});
    find.waitForFinished();
    const QList<QByteArray> parts = find.readAllStandardOutput().split('\0');
    Tree tree;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) tree[parts[i]] = parts[i + 1];
    return tree;
}

// Holds the pipe's writing end open in waiting: that open returns only once something opens the
// pipe for reading; each reader is let go at once (it reads an empty file), and that is told.
class PipeWatch {
public:
    explicit PipeWatch(const QByteArray& pipe) : pipe_(pipe) {
        thread_ = std::thread([this] {
            while (true) {
                const int fd = ::open(pipe_.constData(), O_WRONLY);
                if (fd >= 0) ::close(fd);
                if (ending_) return;
                openedForReading = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~PipeWatch() {
        ending_ = true;
        const int fd = ::open(pipe_.constData(), O_RDONLY | O_NONBLOCK);
        thread_.join();
        if (fd >= 0) ::close(fd);
    }
    std::atomic<bool> openedForReading{false};

private:
    QByteArray pipe_;  // a second name of the pipe, where no run renames it
    std::atomic<bool> ending_{false};
    std::thread thread_;
};

// Continue with the thumbnail task (or its web page: the size window at `percent`) or the
// conversion task (100, no size window), answering the dialogs for the type.
void RunFolderSave(QPushButton* next, TFrmadjust* adjust, int percent, OutputType type) {
    static const std::map<OutputType, const char*> option = {
        {OutputType::Jpeg, "Radjpeg"}, {OutputType::Bitmap, "Radbitmap"},
        {OutputType::Tif, "RadTif"},   {OutputType::Metafile, "Radmetafile"},
        {OutputType::Png, "RadPng"},   {OutputType::Webp, "RadWebp"}};
    ModalScript script;
    if (percent != 100) {
        script.leaveOpen("Frmadjust");
        script.expect("Frmadjust", [adjust, percent](QWidget*) {
            QTimer::singleShot(0, adjust, [adjust, percent] {
                child<QScrollBar>(adjust, "ScrollBar1")->setValue(percent);
                child<QPushButton>(adjust, "Cmdsave")->click();
                adjust->close();
            });
        });
    }
    script.expect("Frmchoice", Choose("RadAll"));
    script.expect("Frmoptions", Choose(option.at(type)));
    if (OutputFormatOf(type).asksQuality) script.expect("Frmcomp", Quality(75));
    next->click();
    EXPECT_TRUE(script.done()) << script.opened.join(",").toStdString();
}

// A page's link lines, one a line, as they are written.
QStringList LinkLines(const QString& page) {
    QStringList lines;
    for (const QByteArray& line : ReadFileBytes(page).split('\n'))
        if (line.startsWith("<a href=")) lines << QString::fromLatin1(line.trimmed());
    return lines;
}

class HostileFolderTest : public AllWindowsTest {
protected:
    void SetUp() override {
        // Whatever a run could write to by itself is fresh and compared at the end: home,
        // temporary, configuration, data and cache folders and the working folder.
        for (const char* var :
             {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "PWD"}) {
            saved_.push_back({var, qgetenv(var)});
            QDir().mkpath(sandbox.filePath(var));
            qputenv(var, QFile::encodeName(sandbox.filePath(var)));
        }
        savedCwd_ = QDir::currentPath();
        QDir::setCurrent(sandbox.filePath("PWD"));
        AllWindowsTest::SetUp();
        chosen = pictures.filePath("Hostile #1 & 'friends' 100% été/");
        ASSERT_TRUE(QDir().mkpath(chosen));
        fill();
        std::sort(images.begin(), images.end(), ListingOrderLess);
        const QByteArray pipe = QFile::encodeName(sandbox.filePath("pipe"));
        ASSERT_EQ(::link(QFile::encodeName(chosen + "y.jpg").constData(), pipe.constData()), 0);
        watch = std::make_unique<PipeWatch>(pipe);
        before = snapshot();
    }
    void TearDown() override {
        EXPECT_FALSE(watch && watch->openedForReading) << "the pipe y.jpg was opened";
        watch.reset();
        // A name that is no UTF-8 or a broken link is beyond QDir.
        QProcess::execute("rm", {"-rf", "--", chosen, sandbox.filePath("aside")});
        AllWindowsTest::TearDown();
        QDir::setCurrent(savedCwd_);
        for (const auto& [var, value] : saved_)
            value.isNull() ? qunsetenv(var) : qputenv(var, value);
    }

    // About 2,500 entries: mostly small valid pictures of every kind, the rest what breaks
    // programs. `images` lists the plain image files every run meets.
    void fill() {
        const QByteArray folder = QFile::encodeName(chosen);
        const auto put = [&](const QByteArray& raw, const QByteArray& bytes) {
            const int fd = ::open((folder + raw).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            EXPECT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size())
                << raw.constData();
            ::close(fd);
        };
        const auto file = [&](const QString& name, const QByteArray& bytes) {
            put(QFile::encodeName(name), bytes);
            if (!name.startsWith('.') && IsSupportedImageFile(name)) images << name;
        };
        const auto link = [&](const QString& name, const QString& target, bool image) {
            EXPECT_EQ(::symlink(QFile::encodeName(target).constData(),
                                (folder + QFile::encodeName(name)).constData()),
                      0);
            if (image) images << name;
        };
        for (int i = 1; i <= 2000; ++i) {
            const QString ext = kKinds[i % kMadeKinds];
            file(QStringLiteral("p%1").arg(i, 4, 10, QChar('0')) + ext, Encoded(ext, 8, 6));
        }
        for (const QString ext : kKinds) {
            for (const auto& [how, bytes] : Damaged(ext))
                file(QStringLiteral("q damaged %1").arg(how) + ext, bytes);
            if (ext == ".heic") continue;
            for (const char* stem : kHostileStems)
                file(QString::fromUtf8(stem) + (stem[0] % 2 ? ext : ext.toUpper()),
                     Encoded(ext, 10, 8));
            // 255 bytes, the most a name may have: a "T_" or "IT_" copy cannot be named.
            file(QString(255 - ext.size(), 'n') + ext, Encoded(ext, 9, 7));
            file(QString(125, QChar(0xE9)) + QString(5 - ext.size(), 'x') + ext,
                 Encoded(ext, 9, 7));
            file("2x2 tiny" + ext, Encoded(ext, 2, 2));  // nothing left of it at 20 %
            file("same" + ext, Encoded(ext, 7, 5));      // every kind, one output name
        }
        file("case.jpg", Encoded(".jpg", 6, 6));
        file("Case.JPG", Encoded(".jpg", 6, 7));
        file("photo.jpeg", Encoded(".jpg", 6, 6));
        file("scan.tiff", Encoded(".tif", 6, 6));
        file(".hidden.jpg", Encoded(".jpg", 6, 6));
        for (const char* other : {"notes.txt", "no extension", "picture.jpg.txt", "dot.jpg."})
            file(QString::fromLatin1(other), "not an image");
        // Qt's listing passes by a name that is no UTF-8: no window meets it, and it stays.
        put("latin1 \xe9t\xe9.jpg", Encoded(".jpg", 6, 6));
        EXPECT_EQ(::mkdir((folder + "x.jpg").constData(), 0755), 0);
        EXPECT_EQ(::mkfifo((folder + "y.jpg").constData(), 0644), 0);
        link("z.jpg", "gone.jpg", false);
        link("loop.bmp", "loop.bmp", false);
        link("folder link.gif", "x.jpg", false);
        link("link to p0002.bmp", "p0002.bmp", true);
        WriteWholeFile(sandbox.filePath("target.bmp"), Encoded(".bmp", 5, 5), false);
        link("outside target.bmp", sandbox.filePath("target.bmp"), true);
    }

    // Whether a file stops a run at `percent` (a load or stretch that throws) or is skipped (a
    // TIFF no reader takes, a size with no pixels); percent 0: the viewer's load alone.
    struct Fate {
        bool stops = false, skipped = false;
        int messages = 0;  // its load's own
    };
    Fate fateOf(const QString& name, int percent) {
        if (fates.count({name, percent})) return fates[{name, percent}];
        Fate& fate = fates[{name, percent}];
        const qsizetype shown = host.messages.size();
        Picture picture;
        try {
            fate.skipped = LoadPictureFile(chosen + name, picture) == LoadOutcome::Rejected;
            BatchSizing sizing;
            sizing.percent = percent;
            const QSize to = BatchTargetSize(sizing, picture.width(), picture.height());
            fate.skipped = fate.skipped || (percent && to.isEmpty());
            if (percent && !fate.skipped) (void)StretchPicture(picture, to.width(), to.height());
        } catch (const PixError&) {
            fate.stops = true;
        }
        fate.messages = int(host.messages.size() - shown);
        host.messages.erase(host.messages.begin() + shown, host.messages.end());
        return fate;
    }

    // A folder run's lines against the images in listing order: each has one line, its output
    // or why it was skipped, up to the first that stops the run (damaged, or an output name
    // over 255 bytes); the project folder holds exactly the outputs written, nothing half-made.
    struct RunResult {
        int skipped = 0;
        QString stoppedAt;
    };
    RunResult checkRun(OutputType type, int percent) {
        const QStringList lines = results->Lines();
        const QString stored = session.StoredImagesFolder;
        RunResult run;
        std::set<QString> written;
        qsizetype at = 0;
        for (const QString& name : images) {
            const Fate fate = fateOf(name, percent);
            const QString output =
                ChangeFileExtension(stored + name, OutputFormatOf(type).extension);
            if (fate.stops || (!fate.skipped && ExtractFileName(output).toUtf8().size() > 255)) {
                run.stoppedAt = name;
                break;
            }
            const QString line = lines.value(at++);
            run.skipped += fate.skipped;
            EXPECT_EQ(line, fate.skipped
                                ? SkippedLine(chosen + name, line.section("  (", -1).chopped(1))
                            : written.insert(output).second ? CreatedLine(output)
                                                            : AlreadyExistsLine(output));
        }
        EXPECT_EQ(lines.mid(at), QStringList());
        std::set<QString> onDisk;
        for (const QString& name : FolderEntries(stored)) onDisk.insert(stored + name);
        EXPECT_EQ(onDisk, written);
        return run;
    }

    // Every place a run might write to, but the work folder's settings and projects.
    Tree snapshot() const {
        Tree tree = Walk({sandbox.path(), appData.path(), pictures.path()});
        const QByteArray work = QFile::encodeName(session.WorkFolder);
        std::erase_if(tree, [&](const auto& entry) {
            return entry.first == work || entry.first == work + "/pxset25.ini" ||
                   entry.first.startsWith(work + "/Stored Images");
        });
        return tree;
    }
    // What changed since SetUp (or since the damaged files were set aside); names in the
    // chosen folder without it.
    QStringList changes() const {
        const Tree now = snapshot();
        QStringList out;
        const auto name = [this](const QByteArray& path) {
            return QFile::decodeName(path).remove(chosen);
        };
        for (const auto& [path, node] : before)
            if (!now.count(path) || now.at(path) != node)
                out << (now.count(path) ? "changed: " : "gone: ") + name(path);
        for (const auto& [path, node] : now)
            if (!before.count(path)) out << "new: " + name(path);
        return out;
    }

    // Moves the files that stop a run out of the folder, as a person told of them would.
    void setDamagedAside() {
        const QString aside = sandbox.filePath("aside/");
        QDir().mkpath(aside);
        images.removeIf([&](const QString& name) {
            if (!fateOf(name, 20).stops && !fateOf(name, 100).stops && !fateOf(name, 0).stops)
                return false;
            EXPECT_TRUE(QFile::rename(chosen + name, aside + name)) << qPrintable(name);
            return true;
        });
        before = snapshot();
    }

    void pickTheFolder() {
        pickFolder(chosen + "p0002.bmp");
        ASSERT_EQ(main->selection.SelectedFolder, chosen);
        answered();
    }

    // The message boxes a person would answer since the last call, the windows' and the
    // codecs'; their texts stay in lastBoxes, and how many were error reports in lastErrors.
    int answered() {
        lastBoxes = boxes.texts() + host.messages;
        lastErrors = int(std::count_if(boxes.shown.begin(), boxes.shown.end(),
                                       [](auto& b) { return b.kind == MessageKind::ErrorReport; }));
        boxes.shown.clear();
        host.messages.clear();
        return int(lastBoxes.size());
    }

    // Pages the open folder viewer forward from page 1 to the last page or to one that stops,
    // checking and drawing each page's slots and counting its boxes: a refused TIFF's own, and
    // one error report where the page stops. Returns the names shown.
    QStringList pageThroughViewer() {
        QStringList seen;
        auto* next = child<QPushButton>(folderViewer.get(), "Cmdright");
        for (int first = 1;; first += TFrmfolderview::kSlots) {
            if (first > 1) next->click();
            bool stopped = false;
            int messages = 0;
            for (int k = 1; k <= TFrmfolderview::kSlots; ++k) {
                const int p = first + k - 1;
                const QString name = p <= images.size() && !stopped ? images[p - 1] : QString();
                const Fate fate = name.isEmpty() ? Fate{} : fateOf(name, 0);
                stopped = stopped || fate.stops;
                messages += fate.messages + fate.stops;
                // A slot whose file failed keeps its name; the slots after it are empty.
                EXPECT_EQ(folderViewer->SlotLabel(k)->text(), name) << "position " << p;
                PictureBox* image = folderViewer->SlotImage(k);
                EXPECT_EQ(image->picture().isEmpty(), name.isEmpty() || fate.stops || fate.skipped)
                    << qPrintable(name);
                image->shownImage();  // drawn at 65 x 46
                if (!name.isEmpty() && !fate.stops) seen << name;
            }
            QApplication::processEvents();  // a thumbnail that failed to draw says so queued
            EXPECT_EQ(answered(), messages) << lastBoxes.join('\n').toStdString();
            EXPECT_EQ(lastErrors, int(stopped));
            EXPECT_EQ(folderViewer->PageStart(), stopped ? first - TFrmfolderview::kSlots : first);
            if (stopped || !next->isEnabled()) break;
        }
        folderViewer->close();
        return seen;
    }

    QTemporaryDir sandbox;
    RecordingHost host;
    QString chosen;
    QStringList images;
    std::map<std::pair<QString, int>, Fate> fates;
    std::unique_ptr<PipeWatch> watch;
    Tree before;
    QStringList lastBoxes;
    int lastErrors = 0;

private:
    std::vector<std::pair<const char*, QByteArray>> saved_;
    QString savedCwd_;
};

TEST_F(HostileFolderTest, APipeAFolderOrABrokenLinkIsNeverPickedNorOpened) {
    for (const char* name : {"y.jpg", "x.jpg", "z.jpg", "loop.bmp"}) {
        pickImage(chosen + name);
        pickFolder(chosen + name);
        EXPECT_EQ(answered(), 2) << name;
        EXPECT_EQ(lastBoxes.filter(ErrorReportText(CannotOpenFileText(chosen + name))), lastBoxes);
        EXPECT_FALSE(main->selection.OneImageSelected || main->selection.FolderSelected);
    }
    pickTheFolder();
    EXPECT_EQ(session.FolderImages.FolderImageNames, images);
    EXPECT_EQ(changes(), QStringList());
}

TEST_F(HostileFolderTest, ADamagedFileStopsTheThumbnailsAndThePagingWhereItLies) {
    pickTheFolder();
    main->Radthumb->setChecked(true);
    boxes.inputAnswers.push_back("Thumbs #1 & 'é' %20");
    RunFolderSave(main->Cmdnext, adjust.get(), 20, OutputType::Jpeg);
    const RunResult run = checkRun(OutputType::Jpeg, 20);
    EXPECT_GT(images.indexOf(run.stoppedAt), 40) << "the damaged files must not come first";
    // The error that stopped the run is the one box; the skipped files have their lines.
    EXPECT_EQ(answered(), 1) << lastBoxes.join('\n').toStdString();
    EXPECT_EQ(lastErrors, 1);

    main->Radviewer->setChecked(true);
    QStringList seen;
    EXPECT_EQ(continueAnd([&] { seen = pageThroughViewer(); }), "Frmfolderview");
    EXPECT_LT(seen.size(), images.size()) << "the viewer never met the damaged files";

    // The picture index links every JPEG and then every GIF by its name, whatever it holds.
    main->RadWebpage->setChecked(true);
    EXPECT_EQ(continueAnd(), "");
    EXPECT_EQ(answered(), 1) << lastBoxes.join('\n').toStdString();  // the page is shown
    EXPECT_EQ(desktop.openedFiles, QStringList{chosen + "index.html"});
    QStringList links;
    for (const char* ext : {".JPG", ".GIF"})
        for (const QString& name : images)
            if (AsciiUpperCase(ExtractFileExtension(name)) == QLatin1String(ext))
                links << PictureIndexLinkLine(name, name);
    EXPECT_EQ(LinkLines(chosen + "menu.html"), links);
    EXPECT_EQ(changes(), (QStringList{"new: index.html", "new: main.html", "new: menu.html"}));
}

TEST_F(HostileFolderTest, WithoutTheDamagedFilesEveryRunGivesEveryImageOneLine) {
    setDamagedAside();
    pickTheFolder();
    int n = 0;
    for (const OutputFormat& format : OutputFormats()) {
        main->Radconvert->setChecked(true);
        boxes.inputAnswers.push_back(QStringLiteral("Convert %1 #&'%%").arg(++n));
        RunFolderSave(main->Cmdnext, adjust.get(), 100, format.type);
        const RunResult run = checkRun(format.type, 100);
        // Only WebP's extension is longer than the sources': a 255-byte name cannot take it,
        // and an output that cannot be written stops the run.
        const bool stops = format.extension.size() > 4;
        EXPECT_EQ(!run.stoppedAt.isEmpty(), stops) << qPrintable(run.stoppedAt);
        EXPECT_EQ(answered(), stops || run.skipped ? 1 : 0) << lastBoxes.join('\n').toStdString();
    }

    // The thumbnail web page: beside the pages a copy of each JPEG's thumbnail ("T_") and of
    // the JPEG ("IT_") where the copy's name fits; the menu links each thumbnail to its picture.
    main->RadThumbWebpage->setChecked(true);
    boxes.inputAnswers.push_back("Web page #1 & <b>");
    boxes.confirmAnswers.push_back(true);
    RunFolderSave(main->Cmdnext, adjust.get(), 20, OutputType::Jpeg);
    const RunResult run = checkRun(OutputType::Jpeg, 20);
    EXPECT_EQ(run.stoppedAt, QString());
    // The question, the page shown, and one for the skipped files.
    EXPECT_EQ(answered(), 2 + (run.skipped ? 1 : 0)) << lastBoxes.join('\n').toStdString();
    const QString web = session.WebpagesFolder;
    EXPECT_EQ(desktop.openedFiles.last(), web + "index.html");
    QStringList copied, links;
    for (const QString& name : images)
        if (AsciiUpperCase(ExtractFileExtension(name)) == ".JPG" &&
            QFile::exists(ChangeFileExtension(session.StoredImagesFolder + name, ".JPG")) &&
            QFile::encodeName("IT_" + name).size() <= 255) {
            EXPECT_EQ(ReadFileBytes(web + "IT_" + name), ReadFileBytes(chosen + name));
            copied << "T_" + name;
        }
    std::sort(copied.begin(), copied.end(), ListingOrderLess);
    for (const QString& thumbnail : copied) links << ThumbnailLinkLine(thumbnail);
    EXPECT_EQ(LinkLines(web + "menu.html"), links);

    // The viewer shows every image on exactly one page; a TIFF no reader takes by name alone.
    main->Radviewer->setChecked(true);
    QStringList seen;
    EXPECT_EQ(continueAnd([&] { seen = pageThroughViewer(); }), "Frmfolderview");
    EXPECT_EQ(seen, images);
    EXPECT_EQ(changes(), QStringList());
}

TEST_F(HostileFolderTest, TheRenamersLinesMatchWhatIsOnDisk) {
    pickTheFolder();
    main->RadRename->setChecked(true);
    const QString prefix = QString::fromUtf8("#1 & 'é' %20 ");
    const QByteArray folder = QFile::encodeName(chosen);
    // The folder's own entries, by name (the one that is no UTF-8 stays out of every list).
    const auto entries = [&] {
        std::map<QString, QByteArray> named;
        for (const auto& [path, node] : snapshot())
            if (path.startsWith(folder) && !path.mid(folder.size()).contains('/'))
                named[QFile::decodeName(path.mid(folder.size()))] = node;
        return named;
    };
    const auto run = [&](RenameMode mode) {
        auto model = entries();
        (mode == RenameMode::Prefix ? rename->RadPre : rename->RadUpper)->setChecked(true);
        rename->EdPre->setText(prefix);
        boxes.confirmAnswers.push_back(true);
        rename->BitBtn1->click();
        EXPECT_EQ(answered(), 1) << lastBoxes.join('\n').toStdString();

        // Every entry but the folders (and links to them), once, in listing order; replaying
        // the result lines on the folder as it was must give the disk.
        QStringList expected;
        for (const auto& [name, node] : model)
            if (!QFileInfo(chosen + name).isDir() && !name.contains(QChar::ReplacementCharacter))
                expected << name;
        std::sort(expected.begin(), expected.end(), ListingOrderLess);
        ASSERT_EQ(rename->ListResults->count(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QString& old = expected[i];
            EXPECT_EQ(rename->ListTemp->item(i)->text(), old);
            const QString renamed = NewFileName(mode, old, prefix, {});
            const bool possible = StaysInFolder(renamed) &&
                                  QFile::encodeName(renamed).size() <= 255 &&
                                  (old == renamed || !model.count(renamed));
            EXPECT_EQ(rename->ListResults->item(i)->text(),
                      possible ? "SUCCESSFULLY renamed " + old + " to " + renamed
                               : "FAILED to rename " + old);
            if (possible) model[renamed] = model.extract(old).mapped();
        }
        EXPECT_EQ(entries(), model);
    };
    EXPECT_EQ(continueAnd([&] {
                  run(RenameMode::UpperCase);
                  run(RenameMode::Prefix);
                  rename->close();
              }),
              "FrmRename");
    EXPECT_EQ(changes().filter(QRegularExpression("^(new|gone): [^/]*$")), changes());
}

}  // namespace
