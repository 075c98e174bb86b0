// The export command end to end: the real engine writes the sample through a
// scripted save dialog; libtiff reads the result back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/output_fakes.h"
#include "common/utf8.h"
#include "engine/contract/contract_document.h"
#include "output/export_command.h"
#include "support/raster_oracle.h"
#include "support/temp_dir.h"
#include "support/tiff_readback.h"

namespace folio::testing {
namespace {

using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class FileSystemAttributes : public FileAttributes {
  public:
    int32_t GetFileAttributes(const std::u16string& path) override {
        return std::filesystem::exists(ToUtf8(path)) ? kAttributeNormal : kInvalidAttributes;
    }
};

class MemorySettings : public SettingsStore {
  public:
    std::u16string GetSetting(const std::u16string&, const std::u16string& section,
                              const std::u16string&, const std::u16string& fallback) override {
        return values.contains(section) ? values[section] : fallback;
    }
    void SaveSetting(const std::u16string&, const std::u16string& section, const std::u16string&,
                     const std::u16string& value) override {
        values[section] = value;
    }
    std::map<std::u16string, std::u16string> values;
};

class ExportSample : public ::testing::Test {
  protected:
    ExportSample() {
        contract->Create(FromUtf8(FOLIO_SOURCE_TREE "/samples/sample.mdi"));
        EXPECT_CALL(rig.saveDialog, GetSaveFileName(_))
            .WillRepeatedly([this](SaveFileRecord& record) {
                const std::u16string chosen = FromUtf8(dir.File("scan"));
                record.file.replace(0, chosen.size(), chosen);
                return SaveDialogResult::Chosen;
            });
    }
    void Run() { output::ExportToTiff(ports, true, contract.get()); }

    engine::testing::TempDir dir;
    engine::ContractDocumentFactory documents;
    std::shared_ptr<imaging::Document> contract = documents.NewDocument();
    engine::EngineDocument& document = *documents.EngineOf(*contract);
    DialogRig rig;
    FileSystemAttributes files;
    MemorySettings settings;
    NiceMock<MockQuestions> questions;
    NiceMock<MockMainWindow> window;
    output::OutputPorts ports{
        rig.dialogs, window,       settings,     files,
        questions,   rig.messages, rig.printers, PlatformTraits::Posix(u"/home/u")};
};

TEST_F(ExportSample, WritesEveryPageAsTurnedAndRemembersTheFolder) {
    for (int page = 0; page < document.PageCount(); ++page) {
        document.RotatePage(page, page == 1 ? 90 : 0);
    }
    Run();
    const auto pages = engine::testing::ReadBack(dir.File("scan.tiff"));
    ASSERT_EQ(pages.size(), static_cast<size_t>(document.PageCount()));
    for (int page = 0; page < document.PageCount(); ++page) {
        const auto expected =
            engine::testing::ReferenceRotate(*document.Decode(page), document.QuarterTurns(page));
        EXPECT_TRUE(engine::testing::SamePixels(pages[static_cast<size_t>(page)].pixels, expected))
            << "page " << page + 1;
    }
    EXPECT_EQ(settings.values[u"save"], FromUtf8(dir.Path() + "/"));
}

TEST_F(ExportSample, ExistingTargetIsOnlyReplacedAfterYes) {
    std::ofstream(dir.File("scan.tiff")) << "old";
    EXPECT_CALL(questions, AskYesNo(_, _)).WillOnce(Return(false)).WillOnce(Return(true));
    Run();
    EXPECT_EQ(FileText(dir.File("scan.tiff")), "old");
    EXPECT_FALSE(settings.values.contains(u"save"));
    Run();
    EXPECT_EQ(engine::testing::ReadBack(dir.File("scan.tiff")).size(), 3u);
}

// Typing the document's own name: the dialog asks about that name (flag 2), the
// program then about the file it writes, by its full name.
TEST_F(ExportSample, TypedNameIsAskedAboutAsTheTiffFileWritten) {
    std::filesystem::copy_file(FOLIO_SOURCE_TREE "/samples/sample.mdi", dir.File("sample.mdi"));
    std::ofstream(dir.File("sample.mdi.tiff")) << "old";
    SaveFileRecord shown;
    EXPECT_CALL(rig.saveDialog, GetSaveFileName(_)).WillOnce([&](SaveFileRecord& record) {
        shown = record;
        const std::u16string typed = FromUtf8(dir.File("sample.mdi"));
        record.file.replace(0, typed.size(), typed);
        return SaveDialogResult::Chosen;
    });
    const std::u16string question =
        FromUtf8(dir.File("sample.mdi.tiff")) + u" already exists.\nDo you want to replace it?";
    EXPECT_CALL(questions, AskYesNo(question, std::u16string(u"Save MDI as...")))
        .WillOnce(Return(false));
    Run();
    EXPECT_EQ(shown.flags, kSaveOverwritePrompt);
    EXPECT_EQ(FileText(dir.File("sample.mdi.tiff")), "old");
}

TEST_F(ExportSample, CancelInTheMiddleLeavesTheFolderAsItWas) {
    std::ofstream(dir.File("scan.tiff")) << "old";
    EXPECT_CALL(questions, AskYesNo(_, _)).WillOnce(Return(true));
    documents.SetProgress([](int done, int) { return done < 2; });
    EXPECT_NO_THROW(Run());
    EXPECT_EQ(FileText(dir.File("scan.tiff")), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    EXPECT_FALSE(settings.values.contains(u"save"));
}

}  // namespace
}  // namespace folio::testing
