#include <fstream>
#include <sstream>

#include "app/about_box.h"
#include "app/form1_fixture.h"
#include "build_info.h"
#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::app {
namespace {

class MockImage : public imaging::Image {
  public:
    MOCK_METHOD(void, Rotate, (int32_t), (override));
};

// A loaded document of `count` pages whose collection is handed out afresh each time.
struct RotationTest : Form1Test {
    std::shared_ptr<StrictMock<MockDocument>> document;
    std::vector<std::shared_ptr<StrictMock<MockImage>>> pages;
    int collectionsTaken = 0;

    void Load(int32_t count) {
        document = OpenThroughDialog(u"/a/one.mdi", u"/a/");
        for (int32_t i = 0; i < count; ++i) {
            pages.push_back(std::make_shared<StrictMock<MockImage>>());
        }
        ON_CALL(*document, Images()).WillByDefault([this, count] {
            ++collectionsTaken;
            auto collection = std::make_shared<NiceMock<MockImageCollection>>();
            ON_CALL(*collection, Count()).WillByDefault(Return(count));
            ON_CALL(*collection, Item(_)).WillByDefault([this](int32_t index) {
                if (index == 1 && failOnSecondPage) {
                    throw Error(errors::kDeviceIoError, "page 2 cannot be turned");
                }
                return std::shared_ptr<imaging::Image>(pages.at(static_cast<size_t>(index)));
            });
            return collection;
        });
        EXPECT_CALL(*document, Images()).Times(::testing::AnyNumber());
    }
    bool failOnSecondPage = false;
};

TEST_F(RotationTest, WithoutADocumentNoCommandReachesTheComponent) {
    // Strict fakes: any call fails the test.
    form.image_rotate_clock();
    form.image_rotate_anticlock();
    form.image_rotate_180();
    std::vector<int32_t> all{-1, -1};
    int32_t angle = 90;
    form.RotatePages(angle, all);
}

TEST_F(RotationTest, EachCommandTurnsEveryPageOnceWithItsWholeAngleInPageOrder) {
    Load(3);
    const struct {
        const char16_t* command;
        int32_t angle;
    } commands[] = {
        {u"image_rotate_clock", 90}, {u"image_rotate_anticlock", -90}, {u"image_rotate_180", 180}};
    for (const auto& c : commands) {
        collectionsTaken = 0;
        InSequence order;
        for (const auto& page : pages) {
            EXPECT_CALL(*page, Rotate(c.angle));
        }
        EXPECT_TRUE(form.RunCommand(c.command));
        // One for the count, then one for each page.
        EXPECT_EQ(collectionsTaken, 4);
    }
}

TEST_F(RotationTest, RotatePagesTurnsOnlyPagesMarkedTrueAndChangesNeitherArgument) {
    Load(3);
    EXPECT_CALL(*pages[0], Rotate(-90));
    std::vector<int32_t> flags{-1, 0, 1};
    int32_t angle = -90;
    form.RotatePages(angle, flags);
    EXPECT_EQ(angle, -90);
    EXPECT_THAT(flags, ElementsAre(-1, 0, 1));
}

TEST_F(RotationTest, AFailureOnPageTwoLeavesPageOneTurnedAndTheRestUntouched) {
    Load(3);
    failOnSecondPage = true;
    EXPECT_CALL(*pages[0], Rotate(90));
    EXPECT_CALL(messages, Show(std::u16string(u"Error 57: page 2 cannot be turned"), kApp,
                               MessageIcon::Error));
    EXPECT_CALL(viewer, GetDocument()).WillOnce(Return(document));
    EXPECT_FALSE(form.RunCommand(u"image_rotate_clock"));
    EXPECT_EQ(form.CurrentDocument, document);
}

TEST_F(RotationTest, ADocumentWithoutPagesIsLeftAlone) {
    Load(0);
    EXPECT_TRUE(form.RunCommand(u"image_rotate_180"));
    EXPECT_EQ(collectionsTaken, 1);
}

TEST(AboutText, IsExactWithItsDecorativeLineAndVersion) {
    const std::u16string text = AboutText(1, 0, 32);
    const std::u16string line =
        u"                               *      *     *    *   *  *"
        u" * *  *   *    *     *      *";
    EXPECT_EQ(line.size(), 86u);
    EXPECT_EQ(text,
              u"This program is written for accusation, then no way to see MDI file because of "
              u"impossible to install OFFICE 2003 on old PC\r\n\r\n" +
                  line + u"\r\n\r\n\r\npowered by FolioLens developers\r\nVersion: 1.0.32");
    EXPECT_EQ(AboutText(12, 3, 4).substr(text.size() - 6), u"12.3.4");
}

TEST_F(Form1Test, AboutShowsTheTextTitledWithTheCaptionWithOrWithoutADocument) {
    ON_CALL(window, Caption()).WillByDefault(Return(u"FolioLens"));
    const std::u16string text = AboutText(build_info::kVersionMajor, build_info::kVersionMinor,
                                          build_info::kVersionRevision);
    EXPECT_TRUE(text.ends_with(u"\r\nVersion: 1.0.32"));
    EXPECT_CALL(messages, Show(text, kApp, MessageIcon::Information)).Times(2);
    EXPECT_TRUE(form.RunCommand(u"help_aboute"));
    OpenThroughDialog(u"/a/one.mdi", u"/a/");
    EXPECT_TRUE(form.RunCommand(u"help_aboute"));
}

TEST_F(Form1Test, DonationHandsTheFixedAddressToTheBrowserAndIgnoresAFailure) {
    const std::u16string head = build_info::kDonationAddressHead;
    const std::u16string expected =
        head + u"&item_name=Donate to say thank you for saved time&currency_code=EUR&no_shipping=1";
    // The six keys, in order.
    std::vector<std::u16string> keys;
    for (size_t at = expected.find(u'?'); at != std::u16string::npos;
         at = expected.find(u'&', at + 1)) {
        keys.push_back(expected.substr(at + 1, expected.find(u'=', at) - at - 1));
    }
    EXPECT_THAT(keys, ElementsAre(u"cmd", u"business", u"return", u"item_name", u"currency_code",
                                  u"no_shipping"));
    EXPECT_CALL(browser, OpenUrl(kOwner, expected)).WillOnce(Return(false));
    EXPECT_TRUE(form.RunCommand(u"don"));
}

TEST(VersionResource, CarriesTheProgramVersionInBothForms) {
    std::ifstream file(FOLIO_VERSION_RESOURCE);
    ASSERT_TRUE(file) << FOLIO_VERSION_RESOURCE;
    std::stringstream text;
    text << file.rdbuf();
    for (const char* line :
         {"FILEVERSION 1,0,0,32\n", "PRODUCTVERSION 1,0,0,32\n", "BLOCK \"040904B0\"",
          "VALUE \"FileVersion\", \"1.00.0032\"", "VALUE \"ProductVersion\", \"1.00.0032\"",
          "VALUE \"OriginalFilename\", \"FolioLens.exe\"", "VALUE \"Translation\", 0x409, 1200"}) {
        EXPECT_NE(text.str().find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace folio::app
