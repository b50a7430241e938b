// pixolet-batch: the folder save of the size-adjustment window from a command line, for scripts
// and schedulers. The same engine, the same result lines; see usageText() and pixolet-batch(1).

#include "convert/batch.h"
#include "formats/errors.h"
#include "formats/host.h"
#include "formats/sizing.h"
#include "formats/text_utils.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QThread>
#include <climits>
#include <csignal>
#include <cstdio>
#include <optional>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFileStopped = 1;
constexpr int kExitUsage = 2;

// The output flags come from the table of output types, so a new type is a new flag: each row
// answers to its extension and to its name ("--jpg" and "--jpeg"), and takes a quality when the
// window would ask for one.
struct OutputFlag {
    QStringList names;
    const OutputFormat* format;
};

std::vector<OutputFlag> outputFlags() {
    std::vector<OutputFlag> flags;
    for (const OutputFormat& format : OutputFormats()) {
        QStringList names{QStringLiteral("--") + AsciiLowerCase(format.dialogExtension())};
        const QString byName = QStringLiteral("--") + AsciiLowerCase(format.description);
        if (!names.contains(byName) && !byName.contains(QLatin1Char(' '))) names << byName;
        flags.push_back({names, &format});
    }
    return flags;
}

QString usageText() {
    QString flags;
    for (const OutputFlag& flag : outputFlags()) {
        QString spelled = flag.names.join(QStringLiteral(", "));
        if (flag.format->asksQuality) spelled = flag.names.join(QStringLiteral(" Q, ")) + " Q";
        flags += QStringLiteral("  %1%2%3 files (%4)%5\n")
                     .arg(spelled, QString(qMax(1, 26 - int(spelled.size())), QLatin1Char(' ')),
                          flag.format->description, flag.format->extension,
                          flag.format->asksQuality ? QStringLiteral(", quality Q from 1 to 100")
                                                   : QString());
    }
    return QStringLiteral(
               "usage: pixolet-batch SRC OUT (--percent P | --size WxH) OUTPUT [--jobs N]\n"
               "\n"
               "Converts every image of the folder SRC (JPG, GIF, BMP, ICO, EMF, TIF) into a new\n"
               "file of one type in the folder OUT, made when missing. Sources are never changed\n"
               "and an existing file is never replaced: it is reported as already there.\n"
               "\n"
               "  --percent P               each picture at P % of its own size (1 to 400)\n"
               "  --size WxH                every picture at W x H pixels\n"
               "%1"
               "  --jobs N                  files converted side by side (default: one per core, "
               "%2)\n"
               "  --help                    this text\n"
               "\n"
               "One result line per file on standard output, in listing order. Exit status: 0 "
               "done,\n"
               "1 a file could not be read or written (the files before it are done, none after\n"
               "it), 2 bad arguments, 130 or 143 stopped by Ctrl-C or SIGTERM once the files in\n"
               "flight were done.\n")
        .arg(flags)
        .arg(QThread::idealThreadCount());
}

struct Arguments {
    BatchJob job;
    int workers = 0;
};

int badUsage(const QString& why) {
    std::fprintf(stderr, "pixolet-batch: %s\nTry 'pixolet-batch --help'.\n", qPrintable(why));
    return kExitUsage;
}

std::optional<int> wholeNumber(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

QString asFolder(const QString& path) {
    const QString absolute = QDir(path).absolutePath();
    return absolute.endsWith(QLatin1Char('/')) ? absolute : absolute + QLatin1Char('/');
}

// Reads the arguments into `parsed`; an error text when they do not make one run.
QString parseArguments(const QStringList& args, Arguments& parsed) {
    QStringList folders;
    std::optional<BatchSizing> sizing;
    const OutputFormat* output = nullptr;
    const std::vector<OutputFlag> flags = outputFlags();
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (!arg.startsWith(QLatin1String("--"))) {
            folders << arg;
            continue;
        }
        if (arg == QLatin1String("--percent") || arg == QLatin1String("--size")) {
            if (sizing) return QStringLiteral("give one size: --percent or --size, once");
            const std::optional<QString> text = value();
            if (!text) return arg + QStringLiteral(" needs a value");
            BatchSizing s;
            if (arg == QLatin1String("--percent")) {
                const std::optional<int> percent = wholeNumber(*text, 1, 400);
                if (!percent) return QStringLiteral("--percent takes a whole number from 1 to 400");
                s.percent = *percent;
            } else {
                const QStringList sides = text->split(QLatin1Char('x'));
                const std::optional<int> w =
                    sides.size() == 2 ? wholeNumber(sides[0], 1, INT_MAX) : std::nullopt;
                const std::optional<int> h =
                    sides.size() == 2 ? wholeNumber(sides[1], 1, INT_MAX) : std::nullopt;
                if (!w || !h) return QStringLiteral("--size takes WxH, two whole numbers from 1");
                if (const QString refusal = NewSizeRefusal(*w, *h); !refusal.isEmpty())
                    return refusal;
                s.exact = true;
                s.exactSize = QSize(*w, *h);
            }
            sizing = s;
        } else if (arg == QLatin1String("--jobs")) {
            const std::optional<QString> text = value();
            const std::optional<int> jobs = text ? wholeNumber(*text, 1, 1024) : std::nullopt;
            if (!jobs) return QStringLiteral("--jobs takes a whole number from 1 to 1024");
            parsed.workers = *jobs;
        } else {
            const auto flag = std::find_if(flags.begin(), flags.end(), [&](const OutputFlag& f) {
                return f.names.contains(arg);
            });
            if (flag == flags.end()) return QStringLiteral("unknown option %1").arg(arg);
            if (output) return QStringLiteral("give one output type");
            output = flag->format;
            if (output->asksQuality) {
                const std::optional<QString> text = value();
                const std::optional<int> quality = text ? wholeNumber(*text, 1, 100) : std::nullopt;
                if (!quality) return arg + QStringLiteral(" takes a quality from 1 to 100");
                parsed.job.quality = *quality;
            }
        }
    }
    if (folders.size() != 2) return QStringLiteral("give a source folder and an output folder");
    if (!sizing) return QStringLiteral("give a size: --percent P or --size WxH");
    if (!output) return QStringLiteral("give an output type");
    if (!QFileInfo(folders[0]).isDir()) return QStringLiteral("%1 is not a folder").arg(folders[0]);
    if (!QDir().mkpath(folders[1]) || !QFileInfo(folders[1]).isDir())
        return QStringLiteral("cannot make the output folder %1").arg(folders[1]);
    parsed.job.sourceFolder = asFolder(folders[0]);
    parsed.job.outputFolder = asFolder(folders[1]);
    parsed.job.type = output->type;
    parsed.job.sizing = *sizing;
    return {};
}

// The progress line, on a terminal only: redrawn after each file, wiped before anything else is
// written, so it never mixes with result lines or messages.
class Terminal {
public:
    Terminal() : progressShown_(isatty(STDERR_FILENO) == 1) {}

    void line(std::FILE* stream, const QString& text) {
        wipe();
        std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stream);
    }
    void progress(int done, int total, const QString& name) {
        if (!progressShown_) return;
        wipe();
        std::fprintf(stderr, "[%d/%d] %s", done, total,
                     ExtractFileName(name).toLocal8Bit().constData());
        std::fflush(stderr);
        drawn_ = true;
    }
    void wipe() {
        if (!drawn_) return;
        std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

private:
    bool progressShown_;
    bool drawn_ = false;
};

Terminal terminal;

class TerminalHost final : public FormatHost {
public:
    void processMessages() override {}
    void showMessage(const QString& text) override { terminal.line(stderr, text); }
    void beginHourglass() override {}
    void endHourglass() override {}
    void gifProgress(double) override {}
};

BatchStop stop;
volatile std::sig_atomic_t stopSignal = 0;

// The first Ctrl-C or SIGTERM lets the files in flight finish and removes what was not named;
// a second one ends the program at once (SA_RESETHAND).
extern "C" void requestStop(int signal) {
    stopSignal = signal;
    stop.request();
}

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int runBatch(const Arguments& arguments) {
    BatchRun run;
    run.workers = arguments.workers;
    run.stop = &stop;
    run.results = [](WriteOutcome outcome, const QString& path) {
        terminal.line(stdout, ResultLine(outcome, path));
    };
    run.skipped = [](const QString& source, const QString& reason) {
        terminal.line(stdout, SkippedLine(source, reason));
    };
    int total = 0, done = 0;
    run.afterFile = [&](const QString& name, const ConvertedFile&, bool) {
        terminal.progress(++done, total, name);
    };
    total = int(BatchFileNames(arguments.job.sourceFolder, QStringLiteral("*.*")).size());
    Picture working;
    const BatchSummary summary = RunBatch(arguments.job, QStringLiteral("*.*"), working, run);
    if (summary.listed == 0)
        terminal.line(stdout, QStringLiteral("** No images of type *.* found in this folder"));
    if (summary.stopped) {
        terminal.line(stdout, StoppedLine(summary.converted, summary.listed));
        return 128 + int(stopSignal);
    }
    terminal.wipe();
    return kExitDone;
}

// Qt's own diagnostics (a missing runtime folder and the like) would mix with the messages.
void quietQt(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQt);
    // No window is ever shown: reading metafiles needs fonts, which need a platform, and this
    // one needs no display. Metafiles are written for the reference screen (1920 x 1080 pixels,
    // 508 x 286 mm, 96 dpi), so a run gives the same files on every machine.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return kExitDone;
    }
    InitPictureFormats();
    TerminalHost host;
    setFormatHost(&host);
    Arguments arguments;
    if (const QString error = parseArguments(args, arguments); !error.isEmpty())
        return badUsage(error);
    catchStopSignals();
    try {
        return runBatch(arguments);
    } catch (const PixError& e) {
        terminal.line(stderr, QStringLiteral("pixolet-batch: ") + e.text());
    } catch (const std::exception& e) {
        terminal.line(stderr, QStringLiteral("pixolet-batch: ") + QString::fromLocal8Bit(e.what()));
    }
    return kExitFileStopped;
}
