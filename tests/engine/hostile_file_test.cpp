// Broken, hostile and foreign files: each gives a clear error naming the file
// (and page) and what is wrong; nothing crashes, hangs or allocates gigabytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff/page_directory.h"
#include "engine/tiff/tiff_io.h"
#include "support/open_page.h"
#include "support/raw_tiff_builder.h"

namespace folio::engine {
namespace {

using testing::RawTiffBuilder;

// Bytes of a small valid one-page TIFF written by libtiff.
std::vector<uint8_t> ValidTiff(const testing::TempDir& dir) {
    const std::string path = dir.File("valid.tif");
    testing::WriteTiffFile(path, {testing::BilevelPage(200, 100, COMPRESSION_CCITTFAX4),
                                  testing::GrayPage(50, 50, 8, COMPRESSION_LZW)});
    return testing::ReadFileBytes(path);
}

// A file of one single-strip page with whatever strip it is given.
std::vector<uint8_t> OnePage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression,
                             const std::vector<uint8_t>& strip) {
    RawTiffBuilder builder;
    builder.AddSimplePage(width, height, bits, compression, strip);
    return builder.Bytes();
}

struct HostileCase {
    const char* name;
    // Makes the file's bytes.
    std::function<std::vector<uint8_t>(const testing::TempDir&)> bytes;
    int32_t number;
    const char* message;         // what the error must say after "<file>: " (a prefix)
    bool failsOnDecode = false;  // opens, but decoding page 1 fails
};

void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<HostileCase> Cases() {
    return {
        {"Empty", [](const auto&) { return std::vector<uint8_t>{}; }, errors::kInvalidFileFormat,
         "the file is empty"},
        {"Text",
         [](const auto&) {
             const std::string text = "Dear reader,\nthis is not a scan.\n";
             return std::vector<uint8_t>(text.begin(), text.end());
         },
         errors::kInvalidFileFormat, "not a TIFF or MDI document"},
        {"Png",
         [](const auto&) {
             return std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0,
                                         0,    13,  'I', 'H', 'D',  'R',  0,    0,    0, 1,
                                         0,    0,   0,   1,   8,    0,    0,    0};
         },
         errors::kInvalidFileFormat, "not a TIFF or MDI document"},
        {"HeaderOnlyThreeBytes",
         [](const auto&) {
             return std::vector<uint8_t>{'E', 'P', 42};
         },
         errors::kDamagedFile, "the file is truncated"},
        {"HeaderWithoutDirectory",
         [](const auto&) { return std::vector<uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0}; },
         errors::kDamagedFile, "damaged file"},
        {"TruncatedInTheFirstDirectory",
         [](const testing::TempDir& dir) {
             auto bytes = ValidTiff(dir);
             const uint32_t first = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | bytes[7] << 24;
             bytes.resize(first + 6);
             return bytes;
         },
         errors::kDamagedFile, "damaged file"},
        {"FirstDirectoryPastTheEnd",
         [](const auto&) {
             RawTiffBuilder b;
             b.AddSimplePage(8, 8, 1, 1, std::vector<uint8_t>(8, 0));
             b.SetFirstIfd(0x7FFFFFF0);
             return b.Bytes();
         },
         errors::kDamagedFile, "damaged file"},
        {"SecondDirectoryPastTheEnd",
         [](const auto&) {
             RawTiffBuilder b;
             b.AddSimplePage(8, 8, 1, 1, std::vector<uint8_t>(8, 0));
             b.SetNext(0, 0x7FFFFFF0);
             return b.Bytes();
         },
         errors::kDamagedFile,
         "page 2: the rest of the document cannot be read: its directory lies past the end of "
         "the file",
         true},
        {"ChainLoopsToItself",
         [](const auto&) {
             RawTiffBuilder b;
             b.AddSimplePage(8, 8, 1, 1, std::vector<uint8_t>(8, 0));
             b.SetNext(0, b.IfdOffset(0));
             return b.Bytes();
         },
         errors::kDamagedFile,
         "page 2: the rest of the document cannot be read: the page chain loops back after page 1",
         true},
        {"ChainLoopsAfterThreePages",
         [](const auto&) {
             RawTiffBuilder b;
             for (int i = 0; i < 3; ++i) {
                 b.AddSimplePage(8, 8, 1, 1, std::vector<uint8_t>(8, 0));
             }
             b.SetNext(2, b.IfdOffset(1));
             return b.Bytes();
         },
         errors::kDamagedFile,
         "page 4: the rest of the document cannot be read: the page chain loops back after page 3",
         true},
        {"TruncatedAfterPageOne",
         [](const auto&) {
             RawTiffBuilder b;
             b.AddSimplePage(8, 8, 1, 1, std::vector<uint8_t>(8, 0));
             b.AddSimplePage(8, 8, 1, 1, std::vector<uint8_t>(8, 0));
             auto bytes = b.Bytes();
             bytes.resize(b.IfdOffset(1) + 5);
             return bytes;
         },
         errors::kDamagedFile,
         "page 2: the rest of the document cannot be read: its directory is damaged or truncated",
         true},
        {"StripPastTheEnd",
         [](const auto&) {
             RawTiffBuilder b;
             b.AddIfd({RawTiffBuilder::Long(256, 64), RawTiffBuilder::Long(257, 64),
                       RawTiffBuilder::Short(258, 8), RawTiffBuilder::Short(259, 1),
                       RawTiffBuilder::Short(262, 1), RawTiffBuilder::Long(273, 0x100000),
                       RawTiffBuilder::Long(278, 64), RawTiffBuilder::Long(279, 4096)});
             b.AddData(std::vector<uint8_t>(4096, 0));  // a file long enough to be plausible
             return b.Bytes();
         },
         errors::kDamagedFile, "page 1: the page's image data is damaged", true},
        {"TruncatedStrip",
         [](const auto&) { return OnePage(64, 64, 8, 1, std::vector<uint8_t>(3000, 7)); },
         errors::kDamagedFile, "page 1: the page's image data is damaged", true},
        // Within the size limit, but refused before hundreds of megabytes are set
        // aside for pixels that ten bytes cannot hold.
        {"LargeG4PageWithTenByteStrip",
         [](const auto&) { return OnePage(30000, 30000, 1, 4, std::vector<uint8_t>(10, 0)); },
         errors::kDamagedFile, "page 1: the page's image data is far too short", true},
        {"LargeJpegPageWithTenByteStrip",
         [](const auto&) { return OnePage(30000, 30000, 8, 7, std::vector<uint8_t>(10, 0)); },
         errors::kDamagedFile, "page 1: the page's image data is far too short", true},
        {"ZeroWidth", [](const auto&) { return OnePage(0, 64, 1, 1, std::vector<uint8_t>(10, 0)); },
         errors::kDamagedFile, "damaged file"},
        {"HugePageWithTenByteStrip",
         [](const auto&) { return OnePage(100000, 100000, 1, 4, std::vector<uint8_t>(10, 0)); },
         errors::kOutOfMemory, "page 1: the page is too large to decode", true},
        {"HugeGrayPageWithTenByteStrip",
         [](const auto&) { return OnePage(100000, 100000, 8, 1, std::vector<uint8_t>(10, 0)); },
         errors::kOutOfMemory,
         "page 1: the page is too large to decode (100000 x 100000 pixels, 9536 MiB", true},
        {"StripByteCountFarBeyondTheFile",
         [](const auto&) {
             RawTiffBuilder b;
             const uint32_t data = b.AddData(std::vector<uint8_t>(64, 0x80));
             b.AddIfd({RawTiffBuilder::Long(256, 4000), RawTiffBuilder::Long(257, 4000),
                       RawTiffBuilder::Short(258, 8), RawTiffBuilder::Short(259, 5),
                       RawTiffBuilder::Short(262, 1), RawTiffBuilder::Long(273, data),
                       RawTiffBuilder::Long(278, 4000), RawTiffBuilder::Long(279, 0xFFFFFF00)});
             return b.Bytes();
         },
         errors::kDamagedFile, "page 1: the page's image data is far too short", true},
        {"AbsurdBitsPerSample",
         [](const auto&) { return OnePage(16, 16, 24, 1, std::vector<uint8_t>(768, 0)); },
         errors::kUnsupportedCompression, "page 1: this kind of page is not supported", true},
        {"AbsurdDepthAndSampleCount",
         [](const auto&) {
             RawTiffBuilder b;
             const uint32_t data = b.AddData(std::vector<uint8_t>(70000, 0));
             b.AddIfd({RawTiffBuilder::Long(256, 1), RawTiffBuilder::Long(257, 1),
                       RawTiffBuilder::Short(258, 65281), RawTiffBuilder::Short(259, 5),
                       RawTiffBuilder::Short(262, 2), RawTiffBuilder::Long(273, data),
                       RawTiffBuilder::Short(277, 64001), RawTiffBuilder::Long(278, 1),
                       RawTiffBuilder::Long(279, 70000)});
             return b.Bytes();
         },
         errors::kUnsupportedCompression, "page 1: this kind of page is not supported", true},
        {"ImpossibleTileSize",
         [](const auto&) {
             RawTiffBuilder b;
             const uint32_t data = b.AddData(std::vector<uint8_t>(256, 0));
             b.AddIfd({RawTiffBuilder::Long(256, 16), RawTiffBuilder::Long(257, 16),
                       RawTiffBuilder::Short(258, 8), RawTiffBuilder::Short(259, 1),
                       RawTiffBuilder::Short(262, 1), RawTiffBuilder::Long(322, 0x40000000),
                       RawTiffBuilder::Long(323, 0x40000000), RawTiffBuilder::Long(324, data),
                       RawTiffBuilder::Long(325, 256)});
             return b.Bytes();
         },
         errors::kDamagedFile, "page 1: the page's image data is damaged", true},
    };
}

class HostileFileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileFileTest, FailsWithAClearErrorNamingTheFile) {
    const HostileCase& c = GetParam();
    testing::TempDir dir;
    const std::string path = dir.File("scan.mdi");
    testing::WriteFileBytes(path, c.bytes(dir));
    EngineDocument document;
    try {
        document.Open(path);
        ASSERT_TRUE(c.failsOnDecode) << "opened a file that should have been refused";
        for (int page = 0; page < document.PageCount(); ++page) {
            document.Decode(page);
        }
        FAIL() << "no error";
    } catch (const Error& e) {
        const std::string expected = path + (c.failsOnDecode ? ", " : ": ") + c.message;
        EXPECT_EQ(e.Description().rfind(expected, 0), 0u)
            << "got \"" << e.Description() << "\", expected it to start \"" << expected << "\"";
        EXPECT_EQ(e.Number(), c.number) << e.Description();
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFileTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The other side of refusing pages whose data is far too short: blank pages,
// which every scheme compresses best, still decode.
TEST(PlausibleDataTest, BlankPagesCompressedToTheLimitStillDecode) {
    testing::TempDir dir;
    for (const uint16_t compression :
         {COMPRESSION_CCITTFAX4, COMPRESSION_CCITTFAX3, COMPRESSION_CCITTRLE, COMPRESSION_LZW,
          COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS, COMPRESSION_JPEG, COMPRESSION_NONE}) {
        SCOPED_TRACE(compression);
        const bool bilevel =
            compression >= COMPRESSION_CCITTRLE && compression <= COMPRESSION_CCITTFAX4;
        testing::TestPage layout = bilevel ? testing::BilevelPage(2480, 3508, compression)
                                           : testing::GrayPage(2000, 2000, 8, compression);
        std::fill(layout.pixels.begin(), layout.pixels.end(), 0);
        layout.rowsPerStrip = layout.height;
        auto document = testing::OpenPages(dir, {layout});
        // A matcher per pixel would take minutes under ThreadSanitizer for these pages.
        EXPECT_TRUE(std::ranges::equal(document->Decode(0)->data, layout.pixels))
            << "the decoded pixels differ from those written";
    }
}

// 64001 samples of 16 bits make a pixel of a million bits: no overflow on the
// way, and libtiff's conversion shows the colour samples.
TEST(AbsurdLayoutTest, HugeSampleCountsAreHandledWithoutOverflow) {
    RawTiffBuilder b;
    const uint32_t data = b.AddData(std::vector<uint8_t>(64001 * 2, 0));
    b.AddIfd({RawTiffBuilder::Long(256, 1), RawTiffBuilder::Long(257, 1),
              RawTiffBuilder::Short(258, 16), RawTiffBuilder::Short(259, 1),
              RawTiffBuilder::Short(262, 2), RawTiffBuilder::Long(273, data),
              RawTiffBuilder::Short(277, 64001), RawTiffBuilder::Long(278, 1),
              RawTiffBuilder::Long(279, 64001 * 2)});
    EngineDocument document;
    document.OpenBytes(b.Bytes(), "samples.tif");
    const auto raster = document.Decode(0);
    EXPECT_EQ(raster->samplesPerPixel, 3);
    EXPECT_EQ(raster->bitsPerSample, 8);
}

TEST(PageChainTest, AnAbsurdPageCountIsRefused) {
    RawTiffBuilder builder;
    for (int i = 0; i < 7; ++i) {
        builder.AddSimplePage(4, 1, 8, 1, std::vector<uint8_t>(4, 0));
    }
    auto file = TiffFile::OpenBytes(builder.Bytes(), "many.tif");
    try {
        ReadPageDirectory(*file, 5);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Description(), "many.tif: more than 5 pages");
    }
    auto again = TiffFile::OpenBytes(builder.Bytes(), "many.tif");
    EXPECT_EQ(ReadPageDirectory(*again, 7).size(), 7u);
}

// A loop is named as such, after the pages before it, whatever the byte order
// and offset width the chain pointers are stored in.
TEST(PageChainTest, ALoopIsNamedInEveryByteOrderAndOffsetWidth) {
    const std::pair<const char*, testing::FileOptions> forms[] = {
        {"LittleEndian", {}},           {"BigEndian", {.bigEndian = true}},
        {"BigTiff", {.bigTiff = true}}, {"BigEndianBigTiff", {.bigEndian = true, .bigTiff = true}},
        {"Mdi", {.mdiHeader = true}},
    };
    testing::TempDir dir;
    for (const auto& [form, options] : forms) {
        SCOPED_TRACE(form);
        const std::string path = dir.File("loop.tif");
        testing::WriteTiffFile(
            path,
            {testing::GrayPage(8, 8, 8), testing::GrayPage(8, 8, 8), testing::GrayPage(8, 8, 8)},
            options);
        std::vector<uint64_t> offsets;
        for (const PageEntry& entry : ReadPageDirectory(*TiffFile::Open(path, "loop.tif"))) {
            offsets.push_back(entry.offset);
        }
        ASSERT_EQ(offsets.size(), 3u);

        // Points the third page's "next page" back at the second.
        auto bytes = testing::ReadFileBytes(path);
        const int countSize = options.bigTiff ? 8 : 2;
        const int entrySize = options.bigTiff ? 20 : 12;
        const int pointerSize = options.bigTiff ? 8 : 4;
        const bool bigEndian = options.bigEndian;  // clang 14 cannot capture a binding
        const auto get = [&](uint64_t at, int size) {
            uint64_t value = 0;
            for (int i = 0; i < size; ++i) {
                const int k = bigEndian ? i : size - 1 - i;
                value = (value << 8) | bytes[at + static_cast<uint64_t>(k)];
            }
            return value;
        };
        const uint64_t next = offsets[2] + static_cast<uint64_t>(countSize) +
                              get(offsets[2], countSize) * static_cast<uint64_t>(entrySize);
        ASSERT_EQ(get(next, pointerSize), 0u);
        for (int i = 0; i < pointerSize; ++i) {
            const int shift = 8 * (options.bigEndian ? pointerSize - 1 - i : i);
            bytes[next + static_cast<uint64_t>(i)] = static_cast<uint8_t>(offsets[1] >> shift);
        }
        ASSERT_EQ(get(next, pointerSize), offsets[1]);

        // The three pages stay, and the break after them says why.
        const auto looped = ReadPageDirectory(*TiffFile::OpenBytes(bytes, "loop.tif"));
        ASSERT_EQ(looped.size(), 4u);
        for (size_t page = 0; page < 3; ++page) {
            EXPECT_EQ(looped[page].offset, offsets[page]);
            EXPECT_EQ(looped[page].info.chainBreak, "");
        }
        EXPECT_EQ(looped[3].info.chainBreak, "the page chain loops back after page 3");
        EXPECT_FALSE(looped[3].info.decodable);
        EXPECT_EQ(looped[3].info.width, 8u);
    }
}

int32_t OpenError(const std::string& path, std::string* message = nullptr) {
    EngineDocument document;
    try {
        document.Open(path);
    } catch (const Error& e) {
        if (message) {
            *message = e.Description();
        }
        return e.Number();
    }
    return 0;
}

TEST(HostilePathTest, MissingFilesFoldersAndUnreadableFilesAreNamed) {
    testing::TempDir dir;
    std::string message;
    EXPECT_EQ(OpenError(dir.File("absent.mdi"), &message), errors::kFileNotFound);
    EXPECT_EQ(message, dir.File("absent.mdi") + ": file not found");
    EXPECT_EQ(OpenError(dir.File("absent/inner.mdi")), errors::kFileNotFound);

    EXPECT_EQ(OpenError(dir.Path(), &message), errors::kInvalidFileFormat);
    EXPECT_EQ(message, dir.Path() + ": is a folder, not a document");
}

TEST(HostilePathTest, UnreadableFilesAreNamed) {
    testing::TempDir dir;
    const std::string locked = dir.File("locked.mdi");
    testing::WriteTiffFile(locked, {testing::GrayPage(4, 4, 8)}, {.mdiHeader = true});
    ::chmod(locked.c_str(), 0);
    if (::access(locked.c_str(), R_OK) == 0) {
        GTEST_SKIP() << "running with rights that ignore file permissions";
    }
    std::string message;
    EXPECT_EQ(OpenError(locked, &message), errors::kPermissionDenied);
    EXPECT_EQ(message, locked + ": permission denied");
}

TEST(HostilePathTest, AFailedOpenKeepsTheDocumentThatWasOpen) {
    testing::TempDir dir;
    const std::string good = dir.File("good.tif");
    testing::WriteTiffFile(good, {testing::GrayPage(4, 4, 8), testing::GrayPage(4, 4, 8)});
    testing::WriteFileBytes(dir.File("bad.mdi"), {'n', 'o', 'p', 'e', 0, 0, 0, 0});
    EngineDocument document;
    document.Open(good);
    EXPECT_THROW(document.Open(dir.File("bad.mdi")), Error);
    EXPECT_EQ(document.PageCount(), 2);
    EXPECT_EQ(document.FilePath(), good);
}

}  // namespace
}  // namespace folio::engine
