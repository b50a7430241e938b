#include "formats/errors.h"
#include "formats/picture.h"
#include "formats/tiff/tiff_libtiff.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "support/pattern_bitmap.h"
#include "support/pillow.h"
#include "support/recording_host.h"
#include "test_tiff_support.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <functional>
#include <random>

namespace {

// Builds small TIFF files entry by entry, in either byte order. Pixel data goes right after
// the header (addData returns its offset); directories follow at build time, chained in order.
class TiffBuilder {
public:
    explicit TiffBuilder(bool littleEndian = true) : le_(littleEndian) {
        bytes_ = le_ ? QByteArray("II") : QByteArray("MM");
        put(bytes_, 42, 2);
        put(bytes_, 0, 4);
    }
    TiffBuilder& directory() {
        dirs_.emplace_back();
        return *this;
    }
    TiffBuilder& entry(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
        dirs_.back().push_back({tag, type, std::move(values)});
        return *this;
    }
    TiffBuilder& remove(uint16_t tag) {
        auto& d = dirs_.back();
        std::erase_if(d, [tag](const Item& i) { return i.tag == tag; });
        return *this;
    }
    uint32_t addData(const QByteArray& data) {
        const uint32_t at = uint32_t(bytes_.size());
        bytes_ += data;
        return at;
    }
    // A whole uncompressed image in one directory; rows already in file layout.
    TiffBuilder& image(uint32_t w, uint32_t h, uint32_t photometric, std::vector<uint32_t> bps,
                       const QByteArray& rows, uint32_t rowsPerStrip = 0) {
        directory();
        entry(256, w > 0xFFFF ? 4 : 3, {w})
            .entry(257, h > 0xFFFF ? 4 : 3, {h})
            .entry(258, 3, bps)
            .entry(259, 3, {1});
        entry(262, 3, {photometric});
        if (rowsPerStrip == 0 || rowsPerStrip >= h) {
            entry(273, 4, {addData(rows)})
                .entry(278, 4, {h})
                .entry(279, 4, {uint32_t(rows.size())});
        } else {
            const uint32_t stripBytes = uint32_t(rows.size() / h) * rowsPerStrip;
            std::vector<uint32_t> offsets, counts;
            for (uint32_t at = 0; at < uint32_t(rows.size()); at += stripBytes) {
                const QByteArray part = rows.mid(at, stripBytes);
                offsets.push_back(addData(part));
                counts.push_back(uint32_t(part.size()));
            }
            entry(273, 4, offsets).entry(278, 3, {rowsPerStrip}).entry(279, 4, counts);
        }
        return *this;
    }
    // The last directory's next offset points back to directory `index`.
    TiffBuilder& loopTo(int index) {
        loopTo_ = index;
        return *this;
    }
    QByteArray build() const {
        QByteArray out = bytes_;
        std::vector<int> dirAt, nextAt;
        for (const auto& d : dirs_) {
            QByteArray entries;
            for (const Item& item : d) {
                QByteArray values;
                for (uint32_t v : item.values) put(values, v, item.type == 3 ? 2 : 4);
                put(entries, item.tag, 2);
                put(entries, item.type, 2);
                put(entries, uint32_t(item.values.size()), 4);
                if (values.size() <= 4) {
                    entries += values + QByteArray(4 - values.size(), '\0');
                } else {
                    out += QByteArray(out.size() % 2, '\0');
                    put(entries, uint32_t(out.size()), 4);
                    out += values;
                }
            }
            out += QByteArray(out.size() % 2, '\0');
            dirAt.push_back(int(out.size()));
            put(out, uint32_t(d.size()), 2);
            out += entries;
            nextAt.push_back(int(out.size()));
            put(out, 0, 4);
        }
        dirAt.push_back(loopTo_ >= 0 ? dirAt[size_t(loopTo_)] : 0);
        patch(out, 4, dirAt[0]);
        for (size_t i = 0; i < nextAt.size(); ++i) patch(out, nextAt[i], dirAt[i + 1]);
        return out;
    }

private:
    struct Item {
        uint16_t tag, type;
        std::vector<uint32_t> values;
    };
    void put(QByteArray& b, uint32_t v, int size) const {
        for (int i = 0; i < size; ++i) b.append(char(v >> (8 * (le_ ? i : size - 1 - i))));
    }
    void patch(QByteArray& b, int at, uint32_t v) const {
        QByteArray f;
        put(f, v, 4);
        b.replace(at, 4, f);
    }

    bool le_;
    QByteArray bytes_;
    std::vector<std::vector<Item>> dirs_;
    int loopTo_ = -1;
};

QByteArray ramp(int count, int start = 0) {
    QByteArray b;
    for (int i = 0; i < count; ++i) b.append(char((start + i * 13) & 0xFF));
    return b;
}

Bitmap sentinel() {
    Bitmap b;
    b.create(3, 2, 24);
    b.scanLine(1)[4] = 77;
    return b;
}

class TiffRead : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes, const QString& name = "t.tif") {
        const QString path = tmp_.filePath(name);
        EXPECT_TRUE(writeBytes(path, bytes));
        return path;
    }
    // Reads into a sentinel bitmap; returns the result, leaving bitmap and messages for checks.
    bool read(const QByteArray& bytes) {
        host_.messages.clear();
        bitmap_ = sentinel();
        return ReadTiffIntoBitmap(write(bytes), bitmap_);
    }
    void expectRefused(const QByteArray& bytes, const QStringList& messages) {
        EXPECT_FALSE(read(bytes));
        EXPECT_EQ(host_.messages, messages);
        EXPECT_TRUE(bitmap_ == sentinel());
    }

    QTemporaryDir tmp_;
    RecordingHost host_;
    Bitmap bitmap_;
};

}  // namespace

TEST_F(TiffRead, MissingFileRaisesAndCreatesNothing) {
    const QString path = tmp_.filePath("absent.tif");
    Bitmap b = sentinel();
    try {
        ReadTiffIntoBitmap(path, b);
        ADD_FAILURE() << "no error";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "Cannot open file " + path);
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_THROW(ReadTiffIntoBitmap(tmp_.path(), b), PixError);
    EXPECT_TRUE(b == sentinel());
    EXPECT_TRUE(host_.messages.isEmpty());
}

TEST_F(TiffRead, HeadersThatAreNotTiff) {
    TiffBuilder good;
    good.image(2, 1, 1, {8}, "ab");
    QByteArray wrongMagic = good.build();
    wrongMagic[2] = 43;  // a BigTIFF header is not ours either
    for (const QByteArray& bytes : {wrongMagic, QByteArray("II*\0\0\0\0", 7),
                                    QByteArray("XX*\0\x08\0\0\0", 8), QByteArray()}) {
        const QString path = write(bytes);
        expectRefused(bytes, {"<" + path + "> is not a valid TIFF file"});
    }
}

// One directory each, broken in one way; each shows its own message and decodes nothing.
TEST_F(TiffRead, EveryRefusalShowsItsMessage) {
    const QString noData = "Error reading image data";
    // A 3 x 2 image whose tag is removed (no value) or replaced.
    struct Breakage {
        uint32_t photometric;
        std::vector<uint32_t> bps;
        uint16_t tag;
        std::vector<uint32_t> value;
        QString message;
    };
    const std::vector<Breakage> broken{
        {1, {8}, 262, {}, "Error reading tag Photometric interpretation"},
        {9, {8}, 0, {}, "Error evaluating Photometric interpretation: 9"},
        {1, {8}, 256, {}, "Error reading tag Image Width"},
        {1, {8}, 257, {}, "Error reading tag Image Height"},
        {1, {8}, 259, {}, "Error reading tag Compression"},
        {1, {1}, 259, {4}, "Cant read compressed bilevel image"},
        {0, {8}, 259, {5}, "Cant read compressed Gray Scale Image"},
        {3, {8}, 259, {32773}, "Cant read compressed ColorPaletImage"},
        {2, {8, 8, 8}, 259, {7}, "Cant read compressed RGB Full Color Image"},
        {3, {8}, 258, {}, "Error reading tag Bits Per Sample"},
        {2, {16, 16, 16}, 0, {}, "Error: Bits Per Sample (RGB) not 8"},
        {3, {8}, 0, {}, "Error reading tag Color Table Offset"},
        // Strips beyond the end of the file; no row length; no strip table or an uneven one.
        {1, {8}, 279, {60000}, noData},
        {1, {8}, 273, {0xFFFFFFF0u}, noData},
        {1, {8}, 278, {}, noData},
        {1, {8}, 278, {0}, noData},
        {1, {8}, 273, {}, noData},
        {1, {8}, 279, {3, 3}, noData},
    };
    std::vector<std::pair<std::function<void(TiffBuilder&)>, QString>> cases;
    for (const Breakage& k : broken) {
        cases.push_back({[k](TiffBuilder& t) {
                             t.image(3, 2, k.photometric, k.bps, ramp(6));
                             if (k.tag) t.remove(k.tag);
                             if (!k.value.empty()) t.entry(k.tag, k.tag == 259 ? 3 : 4, k.value);
                         },
                         k.message});
    }
    // Data shorter than the image; no rows; sizes and a depth no bitmap can have.
    cases.push_back({[](TiffBuilder& t) { t.image(3, 3, 1, {8}, ramp(6)); }, noData});
    cases.push_back({[](TiffBuilder& t) { t.image(3, 0, 1, {8}, QByteArray()); }, noData});
    cases.push_back(
        {[](TiffBuilder& t) { t.image(70000, 1, 1, {8}, ramp(70000)); }, "Out Of Memory "});
    cases.push_back(
        {[](TiffBuilder& t) { t.image(1, 65536, 1, {8}, ramp(65536)); }, "Out Of Memory "});
    cases.push_back({[](TiffBuilder& t) {
                         t.image(8, 2, 3, {2}, ramp(4)).entry(320, 3, std::vector<uint32_t>(12, 1));
                     },
                     "Out Of Memory "});
    for (size_t i = 0; i < cases.size(); ++i) {
        for (bool le : {true, false}) {
            SCOPED_TRACE(testing::Message() << "case " << i << (le ? " II" : " MM"));
            TiffBuilder t(le);
            cases[i].first(t);
            expectRefused(t.build(), {cases[i].second});
        }
    }
}

// A grey page of another depth is skipped without a word; but a file that yields nothing and
// said nothing must say why, since the caller then drops the action quietly.
TEST_F(TiffRead, GreyOfOtherDepthsIsSkippedSilently) {
    TiffBuilder mixed;
    mixed.image(4, 1, 1, {2}, "a").image(1, 1, 1, {8}, "b").image(4, 1, 0, {16}, "abcdefgh");
    ASSERT_TRUE(read(mixed.build()));
    EXPECT_TRUE(host_.messages.isEmpty());
    TiffBuilder only;
    only.image(4, 1, 1, {2}, "a").image(4, 1, 1, {12}, "abcdef");
    expectRefused(only.build(), {"Error: Bits Per Sample not 4 or 8"});
    const QByteArray headerOnly = TiffBuilder().build();
    expectRefused(headerOnly, {"<" + tmp_.filePath("t.tif") + "> is not a valid TIFF file"});
}

// RowsPerStrip above the height (2^32 - 1 is the usual "everything") means one strip; a depth
// list of 8, 8, 16 passes, the data still taken as three 8-bit samples.
TEST_F(TiffRead, OddButReadableDirectories) {
    const QByteArray rgb = ramp(5 * 3 * 3);
    TiffBuilder plain(false), odd(false);
    plain.image(5, 3, 2, {8, 8, 8}, rgb, 1);
    odd.image(5, 3, 2, {8, 8, 16}, rgb).remove(278).entry(278, 4, {0xFFFFFFFFu});
    ASSERT_TRUE(read(plain.build()));
    const Bitmap expected = bitmap_;
    EXPECT_EQ(expected.pixelColor(1, 2),
              qRgb(uint8_t(rgb[33]), uint8_t(rgb[34]), uint8_t(rgb[35])));
    ASSERT_TRUE(read(odd.build()));
    EXPECT_TRUE(bitmap_ == expected);
}

TEST_F(TiffRead, SeveralDirectoriesEndWithTheLastThatDecoded) {
    const QByteArray grey = ramp(6), rgb = ramp(18, 100);
    TiffBuilder twoPages;
    twoPages.image(3, 2, 1, {8}, grey).image(3, 2, 2, {8, 8, 8}, rgb);
    ASSERT_TRUE(read(twoPages.build()));
    EXPECT_EQ(bitmap_.bitCount(), 24);
    EXPECT_TRUE(host_.messages.isEmpty());

    TiffBuilder secondShort;
    secondShort.image(3, 2, 1, {8}, grey).image(3, 2, 2, {8, 8, 8}, rgb.left(10));
    ASSERT_TRUE(read(secondShort.build()));
    EXPECT_EQ(bitmap_.bitCount(), 8);
    EXPECT_EQ(host_.messages, QStringList{"Error reading image data"});

    // Separated colour stops everything, even a good image after it.
    TiffBuilder separated;
    separated.image(1, 1, 5, {8, 8, 8, 8}, "abcd").image(3, 2, 1, {8}, grey);
    expectRefused(separated.build(), {"Error evaluating Photometric interpretation: 5"});
}

TEST_F(TiffRead, LongAndLoopingChains) {
    TiffBuilder many;
    for (int i = 0; i < 300; ++i) many.image(1, 1, 1, {8}, QByteArray(1, char(i)));
    ASSERT_TRUE(read(many.build()));
    EXPECT_EQ(qRed(bitmap_.pixelColor(0, 0)), 299 & 0xFF);

    TiffBuilder loop;
    loop.image(1, 1, 1, {8}, "a").image(1, 1, 1, {8}, "b").image(1, 1, 1, {8}, "c").loopTo(1);
    TFileTiff file;
    file.setFileName(write(loop.build()));
    EXPECT_EQ(file.directoryCount(), 3);
    ASSERT_TRUE(read(loop.build()));
    EXPECT_EQ(qRed(bitmap_.pixelColor(0, 0)), 'c');
}

// Cutting a good file anywhere, or changing any of its bytes, decodes or fails with a
// message: never a crash or a read past the data (the sanitizer build watches).
TEST_F(TiffRead, PrefixesAndDamagedBytesFailCleanly) {
    TiffBuilder t(false);
    std::vector<uint32_t> map(48, 0x4000);
    t.image(5, 3, 3, {4}, ramp(9), 1).entry(320, 3, map).image(3, 2, 2, {8, 8, 8}, ramp(18), 1);
    const QByteArray good = t.build();
    ASSERT_TRUE(read(good));
    for (int n = 0; n < good.size(); ++n) {
        const bool decoded = read(good.left(n));
        if (!decoded) {
            EXPECT_FALSE(host_.messages.isEmpty()) << n;
            EXPECT_TRUE(bitmap_ == sentinel());
        }
    }
    std::mt19937 random(4);
    for (int round = 0; round < 200; ++round) {
        QByteArray damaged = good;
        for (int k = 0; k < 3; ++k) damaged[int(random() % damaged.size())] = char(random());
        if (!read(damaged)) {
            EXPECT_TRUE(bitmap_ == sentinel());
        }
    }
}

namespace {

struct Expectation {
    TiffDirectoryOutcome outcome;
    QString message;
    bool comparePixels = false;
    bool invertReference = false;
};

// What the reader must do with one page, judged from Pillow's view of its tags. Pages the
// reader decodes in its own way (separate planes, a fill order of 2, extra samples) get
// std::nullopt: their pixels are not the picture Pillow shows and are not compared.
// Two deliberate differences are compared as such: grey is never inverted, so white-is-zero
// grey is Pillow's negative; bilevel white-is-zero shows 0 as white, as Pillow does.
std::optional<Expectation> expectationFor(const PillowPage& p) {
    using O = TiffDirectoryOutcome;
    if (p.photometric < 0)
        return Expectation{O::StopLoop, "Error reading tag Photometric interpretation"};
    if (p.photometric > 3)
        return Expectation{
            O::StopLoop,
            QStringLiteral("Error evaluating Photometric interpretation: %1").arg(p.photometric)};
    const std::vector<int>& bps = p.bitsPerSample;
    enum { Bilevel, Grey, Palette, Rgb } kind;
    if (p.photometric <= 1) {
        if (bps.size() != 1) return std::nullopt;
        if (bps[0] == 1) {
            kind = Bilevel;
        } else if (bps[0] == 4 || bps[0] == 8) {
            kind = Grey;
        } else {
            return Expectation{O::Skipped, {}};
        }
    } else {
        kind = p.photometric == 3 ? Palette : Rgb;
    }
    if (p.compression != 1) {
        static const char* const text[] = {
            "Cant read compressed bilevel image", "Cant read compressed Gray Scale Image",
            "Cant read compressed ColorPaletImage", "Cant read compressed RGB Full Color Image"};
        return Expectation{O::Failed, text[kind]};
    }
    if (p.tiled || !p.hasRowsPerStrip) return Expectation{O::Failed, "Error reading image data"};
    const bool plainSamples =
        p.fillOrder == 1 &&
        std::all_of(p.sampleFormat.begin(), p.sampleFormat.end(), [](int f) { return f == 1; });
    if (!plainSamples) return std::nullopt;
    if (kind == Rgb) {
        // Only the first three depths are read (one file lists a fourth, for a sample it lacks).
        const bool eightBit = bps == std::vector<int>{8} ||
                              (bps.size() >= 3 && bps[0] == 8 && bps[1] == 8 && bps[2] == 8);
        if (p.samplesPerPixel != 3 || p.planar != 1 || !eightBit) return std::nullopt;
    } else if (p.samplesPerPixel != 1) {
        return std::nullopt;
    }
    if (kind == Palette && bps.size() == 1 && (bps[0] == 2 || bps[0] == 16))
        return Expectation{O::Failed, "Out Of Memory "};
    if (kind == Palette && bps[0] != 1 && bps[0] != 4 && bps[0] != 8) return std::nullopt;
    return Expectation{O::Decoded, {}, true, kind == Grey && p.photometric == 0};
}

struct ReferenceTally {
    int files = 0, pagesCompared = 0, pagesWithMessage = 0, pagesSkipped = 0, pagesOwnWay = 0,
        unreferenced = 0;
    QStringList ownWay;
};

// Reads each file whole and directory by directory and holds both against Pillow.
ReferenceTally compareWithPillow(const QStringList& files, const QString& workDir) {
    ReferenceTally tally;
    const std::vector<PillowPage> pages = describeWithPillow(files, workDir);
    EXPECT_FALSE(pages.empty()) << "the Pillow reference produced nothing";
    for (int f = 0; f < files.size(); ++f) {
        const QString& path = files[f];
        SCOPED_TRACE(path.toStdString());
        ++tally.files;
        std::vector<const PillowPage*> ref;
        for (const PillowPage& p : pages)
            if (p.file == f) ref.push_back(&p);

        RecordingHost host;
        Bitmap whole = sentinel();
        bool wholeDecoded = false;
        EXPECT_NO_THROW(wholeDecoded = ReadTiffIntoBitmap(path, whole));

        TFileTiff file;
        file.setFileName(path);
        const bool pagesMatch = file.isValid() && !ref.empty() && ref[0]->page >= 0 &&
                                int(ref.size()) == file.directoryCount();
        if (!pagesMatch) ++tally.unreferenced;
        Bitmap last = sentinel();
        bool anyDecoded = false;
        for (int i = 0; file.isValid() && i < file.directoryCount(); ++i) {
            host.messages.clear();
            Bitmap b = sentinel();
            const TiffDirectoryOutcome outcome = ReadTiffDirectory(path, *file.directory(i), b);
            if (outcome == TiffDirectoryOutcome::Decoded) {
                anyDecoded = true;
                last = b;
            } else {
                EXPECT_TRUE(b == sentinel()) << "page " << i;
            }
            if (outcome == TiffDirectoryOutcome::Failed ||
                outcome == TiffDirectoryOutcome::StopLoop) {
                EXPECT_EQ(host.messages.size(), 1) << "page " << i;
            }
            if (pagesMatch && ref[size_t(i)]->ok) {
                const PillowPage& p = *ref[size_t(i)];
                SCOPED_TRACE(testing::Message()
                             << "page " << i << " mode " << p.mode.toStdString());
                const std::optional<Expectation> e = expectationFor(p);
                if (!e) {
                    ++tally.pagesOwnWay;
                    tally.ownWay << QFileInfo(path).fileName();
                } else {
                    EXPECT_EQ(int(outcome), int(e->outcome));
                    if (!e->message.isEmpty()) {
                        EXPECT_EQ(host.messages, QStringList{e->message});
                        ++tally.pagesWithMessage;
                    }
                    if (e->outcome == TiffDirectoryOutcome::Skipped) ++tally.pagesSkipped;
                    if (e->comparePixels && outcome == TiffDirectoryOutcome::Decoded) {
                        EXPECT_EQ(b.width(), p.width);
                        EXPECT_EQ(b.height(), p.height);
                        QByteArray expected = p.rgb;
                        if (e->invertReference) {
                            for (char& c : expected) c = char(255 - uint8_t(c));
                        }
                        EXPECT_TRUE(rgbBytes(b) == expected) << "pixels differ from Pillow";
                        ++tally.pagesCompared;
                    }
                }
            }
            if (outcome == TiffDirectoryOutcome::StopLoop) break;
        }
        EXPECT_EQ(wholeDecoded, anyDecoded);
        EXPECT_TRUE(whole == last) << "the whole read must end with the last decoded page";
    }
    return tally;
}

void printTally(const char* what, const ReferenceTally& t) {
    std::printf(
        "%s: %d files; %d pages equal to Pillow, %d with the expected message, %d skipped, "
        "%d read in the reader's own way, %d files without a page-for-page reference\n",
        what, t.files, t.pagesCompared, t.pagesWithMessage, t.pagesSkipped, t.pagesOwnWay,
        t.unreferenced);
}

}  // namespace

// Files made here with Pillow, ImageMagick and tiffcp: every kind the reader takes, both byte
// orders, several strips, two pages, LZW and separated colour.
TEST(TiffReadReference, GeneratedFilesMatchPillow) {
    REQUIRE_TOOLS(tool::kPillow, tool::kTiffcp, tool::kImageMagick);
    QTemporaryDir tmp;
    QByteArray listing, err;
    ASSERT_EQ(
        runProgram(kSystemPython, {tiffReferenceScript(), "generate", tmp.path()}, &listing, &err),
        0)
        << err.toStdString();
    QStringList files;
    for (const QByteArray& line : listing.split('\n'))
        if (!line.isEmpty()) files << tmp.filePath(QString::fromUtf8(line.split('\t')[0]));
    ASSERT_GE(files.size(), 25);
    const ReferenceTally t = compareWithPillow(files, tmp.path());
    printTally("generated", t);
    EXPECT_EQ(t.unreferenced, 0);
    EXPECT_EQ(t.pagesOwnWay, 0) << t.ownWay.join(' ').toStdString();
    EXPECT_GE(t.pagesCompared, 24);
    EXPECT_GE(t.pagesWithMessage, 3);  // LZW twice, separated twice
}

TEST(TiffReadReference, CorpusMatchesPillow) {
    SKIP_WITHOUT_CORPUS();
    REQUIRE_TOOLS(tool::kPillow);
    QStringList uncompressed;
    for (const QString& path : corpusFiles("tiff", {".tif", ".tiff"})) {
        const QString relative = QDir(corpusDir()).relativeFilePath(path);
        if (corpusFeatures(relative).contains("uncompressed")) uncompressed << path;
    }
    ASSERT_FALSE(uncompressed.isEmpty());
    QTemporaryDir tmp;
    const ReferenceTally t = compareWithPillow(uncompressed, tmp.path());
    printTally("corpus", t);
    EXPECT_GE(t.pagesCompared, 40);
}

// Compressed and otherwise unusual files of the corpus: no crash, no read past the data,
// and a refusal always comes with a message.
TEST(TiffReadReference, WholeCorpusFailsCleanly) {
    SKIP_WITHOUT_CORPUS();
    int decoded = 0, refused = 0;
    for (const QString& path : corpusFiles("tiff", {".tif", ".tiff"})) {
        SCOPED_TRACE(path.toStdString());
        RecordingHost host;
        Bitmap b = sentinel();
        bool ok = false;
        ASSERT_NO_THROW(ok = ReadTiffIntoBitmap(path, b));
        ok ? ++decoded : ++refused;
        if (!ok) {
            EXPECT_TRUE(b == sentinel());
            EXPECT_FALSE(host.messages.isEmpty()) << "a refusal must say why";
        }
    }
    std::printf("corpus: %d files decoded, %d refused\n", decoded, refused);
    EXPECT_GT(decoded, 0);
}

// libtiff behind the reader: what the reader reads without a word stays byte for byte its own
// (but for RGB with extra samples, which it read shifted), what it refused for a missing feature
// is read as Pillow reads it, and a refusal still says why.
TEST(TiffReadWithLibtiff, TheReadersFilesStayAndItsRefusalsAreRead) {
    SKIP_WITHOUT_CORPUS();
    REQUIRE_TOOLS(tool::kPillow);
    int kept = 0, nowRead = 0;
    QStringList changed, lossless;
    std::vector<Bitmap> losslessOurs;
    for (const QString& path : corpusFiles("tiff", {".tif", ".tiff"})) {
        SCOPED_TRACE(path.toStdString());
        const QString features = corpusFeatures(QDir(corpusDir()).relativeFilePath(path));
        Bitmap alone = sentinel(), behind = sentinel();
        bool aloneRead = false, behindRead = false;
        QStringList aloneSaid, behindSaid;
        {
            RecordingHost host;
            ASSERT_NO_THROW(aloneRead = ReadTiffIntoBitmap(path, alone));
            aloneSaid = host.messages;
        }
        {
            RecordingHost host;
            try {
                behindRead = ReadTiffIntoBitmap(path, behind, ReadTiffDirectoryWithLibtiff);
            } catch (const PixError& e) {
                behindSaid << e.text();
            }
            behindSaid += host.messages;
        }
        if (!behindRead) {
            EXPECT_FALSE(behindSaid.isEmpty()) << "a refusal must say why";
        }
        if (aloneRead && aloneSaid.isEmpty()) {
            if (behind == alone)
                ++kept;
            else
                changed << features;
        } else if (behindRead && behindSaid.isEmpty()) {
            ++nowRead;
            // One 8-bit page of a lossless compression, grey or colour: Pillow's pixels exactly.
            if (features.contains("1 directory") && features.contains("bps 8") &&
                !features.contains("jpeg") &&
                (features.contains("pil=ok(TIFF RGB)") || features.contains("pil=ok(TIFF L)"))) {
                lossless << path;
                losslessOurs.push_back(behind);
            }
        }
    }
    EXPECT_GE(kept, 50);
    EXPECT_GE(nowRead, 150);
    for (const QString& features : changed)
        EXPECT_TRUE(features.contains("extrasamples")) << features.toStdString();
    const std::vector<Bitmap> pillow = PillowPixels(lossless);
    ASSERT_EQ(pillow.size(), losslessOurs.size()) << "Pillow did not run";
    EXPECT_GE(lossless.size(), 20);
    for (size_t i = 0; i < pillow.size(); ++i)
        EXPECT_TRUE(SamePixels(losslessOurs[i], pillow[i])) << lossless[int(i)].toStdString();
}

// A scanner's kind of file as ImageMagick writes it, 16 bits a sample or LZW: the folder viewer
// and the batch load it through the one loading path, without a message.
TEST(TiffReadWithLibtiff, SixteenBitAndLzwFilesLoadWithoutAWord) {
    REQUIRE_TOOLS(tool::kImageMagick, tool::kPillow);
    InitPictureFormats();
    QTemporaryDir tmp;
    const QString sixteen = tmp.filePath("scan16.tif"), lzw = tmp.filePath("scan-lzw.TIFF");
    ASSERT_EQ(runProgram(toolPath(tool::kImageMagick),
                         {"-size", "43x33", "gradient:red-blue", "-depth", "16", sixteen}),
              0);
    ASSERT_EQ(runProgram(toolPath(tool::kImageMagick),
                         {"-size", "43x33", "plasma:", "-depth", "8", "-compress", "LZW", lzw}),
              0);
    const std::vector<Bitmap> pillow = PillowPixels({sixteen, lzw});
    ASSERT_EQ(pillow.size(), 2u) << "Pillow did not run";
    RecordingHost host;
    for (int i = 0; i < 2; ++i) {
        const QString path = i == 0 ? sixteen : lzw;
        SCOPED_TRACE(path.toStdString());
        Picture picture;
        ASSERT_EQ(LoadPictureFile(path, picture), LoadOutcome::Loaded);
        const Bitmap shown = picture.graphic()->toBitmap();
        ASSERT_EQ(shown.width(), 43);
        ASSERT_EQ(shown.height(), 33);
        // libtiff rounds 16 bits to 8 where Pillow keeps the high byte: one level apart at most.
        int worst = 0;
        for (int y = 0; y < 33; ++y)
            for (int x = 0; x < 3 * 43; ++x)
                worst = std::max(worst, std::abs(int(shown.scanLine(y)[x]) -
                                                 int(pillow[size_t(i)].scanLine(y)[x])));
        EXPECT_LE(worst, i == 0 ? 1 : 0);
    }
    EXPECT_TRUE(host.messages.isEmpty()) << host.messages.join('\n').toStdString();
}
