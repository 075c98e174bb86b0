#include "app/remembered_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/fakes.h"

namespace folio::app {
namespace {

using ::testing::_;
using testing::MockSettings;
using ::testing::Return;
using ::testing::StrictMock;

struct CutCase {
    const char* name;
    bool windows;
    std::u16string path;
    std::u16string folder;
};

class FolderCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(FolderCut, KeepsThePathUpToAndIncludingTheLastSeparator) {
    const CutCase& c = GetParam();
    const PlatformTraits traits =
        c.windows ? PlatformTraits::Windows() : PlatformTraits::Posix(u"/home/ann");
    EXPECT_EQ(FolderOf(c.path, traits), c.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FolderCut,
    ::testing::Values(CutCase{"WindowsFolder", true, u"C:\\docs\\a.mdi", u"C:\\docs\\"},
                      CutCase{"WindowsDriveRoot", true, u"C:\\a.mdi", u"C:\\"},
                      CutCase{"WindowsIgnoresSlash", true, u"C:\\x/y\\z/a.mdi", u"C:\\x/y\\"},
                      CutCase{"WindowsNoSeparator", true, u"a.mdi", u""},
                      CutCase{"PosixFolder", false, u"/home/ann/scans/a.mdi", u"/home/ann/scans/"},
                      CutCase{"PosixRoot", false, u"/a.mdi", u"/"},
                      CutCase{"PosixBackslashIsAName", false, u"/home/ann/a\\b.mdi", u"/home/ann/"},
                      CutCase{"PosixSpacesAndUnicode", false, u"/tmp/\u00fcber scan/p 1.mdi",
                              u"/tmp/\u00fcber scan/"},
                      CutCase{"PosixNoSeparator", false, u"a.mdi", u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RememberedFolder, ReadsWithThePlatformDefault) {
    for (const PlatformTraits& traits :
         {PlatformTraits::Windows(), PlatformTraits::Posix(u"/home/ann")}) {
        StrictMock<MockSettings> store;
        EXPECT_CALL(store, GetSetting(std::u16string(u"FolioLens"), std::u16string(u"save"),
                                      std::u16string(u"fo"), traits.defaultFolder))
            .WillOnce(Return(traits.defaultFolder));
        EXPECT_EQ(ReadRememberedFolder(store, traits, kSaveFolderSection), traits.defaultFolder);
    }
    EXPECT_EQ(PlatformTraits::Windows().defaultFolder, u"c:\\");
    EXPECT_EQ(PlatformTraits::Posix(u"/home/ann").defaultFolder, u"/home/ann/");
}

TEST(RememberedFolder, SavesTheFolderOfThePathUnchecked) {
    StrictMock<MockSettings> store;
    EXPECT_CALL(store, SaveSetting(std::u16string(u"FolioLens"), std::u16string(u"open"),
                                   std::u16string(u"fo"), std::u16string(u"/no/such/")));
    RememberFolderOf(store, PlatformTraits::Posix(u"/home/ann"), kOpenFolderSection,
                     u"/no/such/file.mdi");
}

}  // namespace
}  // namespace folio::app
