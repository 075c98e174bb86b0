#include <fcntl.h>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "engine/tiff/tiff_io.h"
#include "engine/write/tiff_output.h"
#include "support/temp_dir.h"
#include "support/tiff_fixture.h"

namespace folio::engine {
namespace {

using namespace testing;

// An open file that is closed again when the test ends.
class OpenFile {
  public:
    OpenFile(const std::string& path, int flags) : fd_(::open(path.c_str(), flags, 0644)) {}
    ~OpenFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Fd() const { return fd_; }
    sys::FileHandle Handle() const { return sys::FileHandle{fd_}; }

  private:
    int fd_;
};

// ---- Gathered writes: whatever the order of writes, reads and flushes, the file
// and every read hold what plain positioned writes would have left.

// The file as plain writes leave it: bytes never written read as zeros.
struct PlainFile {
    std::vector<uint8_t> bytes;

    void Write(uint64_t offset, const std::vector<uint8_t>& data) {
        if (data.empty()) {
            return;
        }
        bytes.resize(std::max<size_t>(bytes.size(), offset + data.size()));
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    std::vector<uint8_t> Read(uint64_t offset, size_t size) const {
        if (offset >= bytes.size()) {
            return {};
        }
        const size_t n = std::min<size_t>(size, bytes.size() - offset);
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
        return std::vector<uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(n));
    }
};

TEST(TiffWriteBuffer, MixedWritesReadsAndFlushesMatchPlainWrites) {
    // Small buffers make every case frequent: appends that fill it, patches behind
    // it, writes straddling its start, gaps past the end, writes larger than it.
    for (size_t capacity : {1u, 7u, 64u, 1000u}) {
        TempDir dir;
        const std::string path = dir.File("out.bin");
        OpenFile file(path, O_RDWR | O_CREAT | O_EXCL);
        ASSERT_GE(file.Fd(), 0);
        FileWriteBuffer buffer(file.Handle(), 0, capacity);
        PlainFile plain;
        std::mt19937 random(static_cast<uint32_t>(capacity));
        int reserved = 0;
        for (int step = 0; step < 3000; ++step) {
            const uint64_t size = plain.bytes.size();
            const int action = static_cast<int>(random() % 10);
            if (action == 9) {
                if (random() % 2 == 0) {
                    ASSERT_TRUE(buffer.Flush());
                } else {
                    buffer.HoldFrom(random() % (size + 1));
                }
                continue;
            }
            // Mostly appends, as a TIFF grows; otherwise anywhere up to a bit past the end.
            const uint64_t offset = action < 5 ? size : random() % (size + 50);
            const size_t length = random() % 3 == 0 ? random() % 3000 : random() % 40;
            if (action == 7) {
                // Chunks read into the reserved room, then appended as libtiff
                // would, perhaps skipping a gap between them.
                uint8_t* room = buffer.Reserve(length);
                if (room == nullptr) {
                    continue;  // no room for that much
                }
                ++reserved;
                for (size_t i = 0; i < length; ++i) {
                    room[i] = static_cast<uint8_t>(random());
                }
                const size_t first = length / 3;
                const size_t gap = length > 4 ? random() % (length - first) : 0;
                for (const auto& [from, n] :
                     {std::pair{size_t{0}, first}, std::pair{first + gap, length - first - gap}}) {
                    const std::vector<uint8_t> piece(room + from, room + from + n);
                    ASSERT_TRUE(buffer.Write(buffer.Size(), room + from, n));
                    plain.Write(plain.bytes.size(), piece);
                }
                continue;
            }
            if (action == 8) {
                std::vector<uint8_t> got(length, 0xEE);
                const int64_t n = buffer.Read(offset, got.data(), length);
                got.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
                ASSERT_EQ(got, plain.Read(offset, length))
                    << "capacity " << capacity << " step " << step << " read at " << offset;
                continue;
            }
            std::vector<uint8_t> data(length);
            for (uint8_t& b : data) {
                b = static_cast<uint8_t>(random());
            }
            ASSERT_TRUE(buffer.Write(offset, data.data(), data.size()));
            plain.Write(offset, data);
            ASSERT_EQ(buffer.Size(), plain.bytes.size()) << "capacity " << capacity;
            // Gathered, plus at most one buffer on its way to the file.
            ASSERT_LE(buffer.Size() - buffer.WrittenEnd(), 2 * capacity);
        }
        ASSERT_TRUE(buffer.Flush());
        EXPECT_GT(reserved, 0);
        EXPECT_EQ(buffer.WrittenEnd(), plain.bytes.size());
        EXPECT_EQ(ReadFileBytes(path), plain.bytes) << "capacity " << capacity;
        EXPECT_EQ(buffer.Error(), 0);
    }
}

TEST(TiffWriteBuffer, FailedWriteIsReportedWhenTheDataReachesTheFile) {
    TempDir dir;
    WriteFileBytes(dir.File("read-only.bin"), {});
    OpenFile file(dir.File("read-only.bin"), O_RDONLY);
    FileWriteBuffer buffer(file.Handle(), 0, 16);
    const std::vector<uint8_t> small(10, 1);
    EXPECT_TRUE(buffer.Write(0, small.data(), small.size()));  // only gathered
    EXPECT_FALSE(buffer.Flush());
    EXPECT_EQ(buffer.Error(), EBADF);
    const std::vector<uint8_t> large(100, 2);
    EXPECT_FALSE(buffer.Write(10, large.data(), large.size()));
    EXPECT_EQ(buffer.Error(), EBADF) << "the first error is kept";
}

TEST(TiffWriteBuffer, FailedPatchBeforeTheGatheredTailIsReported) {
    TempDir dir;
    const std::vector<uint8_t> existing(100, 7);
    WriteFileBytes(dir.File("read-only.bin"), existing);
    OpenFile file(dir.File("read-only.bin"), O_RDONLY);
    FileWriteBuffer buffer(file.Handle(), existing.size(), 16);
    // Behind the tail, so written to the file at once, which refuses it.
    const std::vector<uint8_t> patch(4, 9);
    EXPECT_FALSE(buffer.Write(10, patch.data(), patch.size()));
    EXPECT_EQ(buffer.Error(), EBADF);
    EXPECT_EQ(buffer.Size(), existing.size());
    EXPECT_FALSE(buffer.Flush()) << "the failure stays reported";
}

// ---- libtiff writing through the buffer: byte for byte what it writes straight
// to a file, for files with many pages whose directories libtiff links back.

// Writes three pages of raw strips, as the writer's copies do.
bool WritePages(TIFF* tif) {
    for (int page = 0; page < 3; ++page) {
        const uint32_t rows = 40 + 10 * static_cast<uint32_t>(page);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 64u);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, rows);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t{8});
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{1});
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t{PHOTOMETRIC_MINISBLACK});
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8u);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.f);
        TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, "a description longer than four bytes");
        for (uint32_t strip = 0; strip < rows / 8; ++strip) {
            std::vector<uint8_t> data(64 * 8, static_cast<uint8_t>(page * 16 + strip));
            if (TIFFWriteRawStrip(tif, strip, data.data(), static_cast<tmsize_t>(data.size())) <
                0) {
                return false;
            }
        }
        if (TIFFWriteDirectory(tif) != 1) {
            return false;
        }
    }
    return true;
}

TEST(TiffOutputFile, BufferedFileIsByteIdenticalToAPlainOne) {
    TempDir dir;
    {
        TIFF* plain = TIFFOpen(dir.File("plain.tif").c_str(), "w");
        ASSERT_NE(plain, nullptr);
        ASSERT_TRUE(WritePages(plain));
        TIFFClose(plain);
    }
    const std::vector<uint8_t> expected = ReadFileBytes(dir.File("plain.tif"));
    // From a buffer smaller than a directory to one holding the whole file.
    for (size_t capacity : {size_t{1}, size_t{100}, size_t{2000}, TiffOutputFile::kDefaultBuffer}) {
        const std::string path = dir.File("buffered-" + std::to_string(capacity) + ".tif");
        OpenFile file(path, O_RDWR | O_CREAT | O_EXCL);
        TiffMessageLog log;
        TiffOutputFile output(file.Handle(), path, false, log, capacity);
        ASSERT_NE(output.Handle(), nullptr);
        ASSERT_TRUE(WritePages(output.Handle())) << log.FirstError();
        ASSERT_TRUE(output.Finish());
        EXPECT_EQ(output.Handle(), nullptr);
        EXPECT_EQ(ReadFileBytes(path), expected) << "buffer of " << capacity << " bytes";
    }
}

// ---- Reading a page's chunks in few reads.

TEST(CopyChunkRuns, NeighbouringChunksAreReadTogether) {
    struct Case {
        const char* name;
        std::vector<ChunkSpan> chunks;
        std::vector<ChunkRun> runs;
    };
    const uint64_t gap = 10;
    const uint64_t run = 100;
    const std::vector<Case> cases{
        {"back to back", {{8, 20}, {28, 30}, {58, 5}}, {{8, 55, 0, 3}}},
        {"small gap kept", {{0, 20}, {30, 20}}, {{0, 50, 0, 2}}},
        {"larger gap splits", {{0, 20}, {31, 20}}, {{0, 20, 0, 1}, {31, 20, 1, 1}}},
        {"backwards splits", {{50, 10}, {0, 10}}, {{50, 10, 0, 1}, {0, 10, 1, 1}}},
        {"overlap splits", {{0, 20}, {10, 20}}, {{0, 20, 0, 1}, {10, 20, 1, 1}}},
        {"run limit", {{0, 60}, {60, 40}, {100, 1}}, {{0, 100, 0, 2}, {100, 1, 2, 1}}},
        {"chunk above the limit alone",
         {{0, 5}, {5, 500}, {505, 5}},
         {{0, 5, 0, 1}, {5, 500, 1, 1}, {505, 5, 2, 1}}},
        {"none", {}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<ChunkRun> runs = GroupChunks(c.chunks, gap, run);
        ASSERT_EQ(runs.size(), c.runs.size()) << c.name;
        for (size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].offset, c.runs[i].offset) << c.name << " run " << i;
            EXPECT_EQ(runs[i].size, c.runs[i].size) << c.name << " run " << i;
            EXPECT_EQ(runs[i].first, c.runs[i].first) << c.name << " run " << i;
            EXPECT_EQ(runs[i].count, c.runs[i].count) << c.name << " run " << i;
        }
    }
}

}  // namespace
}  // namespace folio::engine
