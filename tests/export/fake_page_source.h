#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/document/page_source.h"
#include "support/tiff_fixture.h"

namespace folio::engine::testing {

// A page of a FakePageSource: what the directory says, the pixels Decode returns,
// and the page's turn.
struct FakePage {
    PageInfo info;
    Raster raster;
    int turns = 0;
    uint64_t directoryOffset = 0;
    bool failDecode = false;
};

// A PageSource made in memory, optionally standing for a real file (so that the
// writer may copy its pages), counting the pages it is asked to decode.
class FakePageSource : public PageSource {
  public:
    FakePageSource() = default;
    // Pages described by the layouts of a file written with WriteTiffFile at `path`.
    FakePageSource(const std::string& path, const std::vector<TestPage>& layouts);

    void Add(FakePage page) { pages_.push_back(std::move(page)); }
    FakePage& Page(int index) { return pages_.at(static_cast<size_t>(index)); }
    int DecodeCalls() const { return decodeCalls_; }

    int PageCount() const override { return static_cast<int>(pages_.size()); }
    PageInfo Info(int page) const override { return pages_.at(static_cast<size_t>(page)).info; }
    int QuarterTurns(int page) const override { return pages_.at(static_cast<size_t>(page)).turns; }
    std::shared_ptr<const Raster> Decode(int page) const override;
    std::filesystem::path FilePath() const override { return path_; }
    uint64_t DirectoryOffset(int page) const override {
        return pages_.at(static_cast<size_t>(page)).directoryOffset;
    }
    // The file at the path it stands for, opened afresh.
    std::unique_ptr<TiffFile> OpenFile() const override;

  private:
    std::string path_;
    std::vector<FakePage> pages_;
    mutable int decodeCalls_ = 0;
};

// A page standing for `layout`, with pixels and info taken from it.
FakePage PageFromLayout(const TestPage& layout);

}  // namespace folio::engine::testing
