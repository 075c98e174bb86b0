#include "app/form1_fixture.h"
#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::app {
namespace {

TEST_F(Form1Test, StartsWithoutADocument) {
    EXPECT_EQ(form.CurrentDocument, nullptr);
    EXPECT_FALSE(form.DocumentLoaded);
    EXPECT_TRUE(form.SelectedFiles.empty());
    EXPECT_FALSE(form.IsDocumentOpen());
}

TEST_F(Form1Test, OpenRemembersTheFolderThenLoadsShowsAndResetsTheZoom) {
    auto document = OpenThroughDialog(u"/home/ann/scans/letter.mdi", u"/home/ann/scans/");
    EXPECT_EQ(form.CurrentDocument, document);
    EXPECT_TRUE(form.DocumentLoaded);
    EXPECT_THAT(form.SelectedFiles, ElementsAre(u"/home/ann/scans/letter.mdi"));
}

TEST_F(Form1Test, TheDialogGetsTheOwnerFiltersTitleFolderAndOptions) {
    EXPECT_CALL(settings, GetSetting(kApp, kOpen, kKey, _)).WillOnce(Return(u"/srv/in/"));
    const std::vector<FileFilter> filters = {
        {u"Microsoft Office Document Imaging files (*.mdi)", u"*.mdi"},
        {u"All Files (*.*)", u"*.*"}};
    EXPECT_CALL(dialog, ShowOpen(AllOf(Field(&OpenFileRequest::owner, kOwner),
                                       Field(&OpenFileRequest::filters, filters),
                                       Field(&OpenFileRequest::filterIndex, 0),
                                       Field(&OpenFileRequest::initialFolder, u"/srv/in/"),
                                       Field(&OpenFileRequest::title, u"Open file to process"),
                                       Field(&OpenFileRequest::flags, 0x1804u),
                                       Field(&OpenFileRequest::resultCapacity, 59000u))))
        .WillOnce(Return(std::nullopt));
    ExpectOriginalSize();
    form.fileOpen();
}

TEST_F(Form1Test, CancelledDialogChangesNothingButStillResetsTheZoom) {
    auto document = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    InSequence order;
    EXPECT_CALL(settings, GetSetting(kApp, kOpen, kKey, _)).WillOnce(Return(u"/a/"));
    EXPECT_CALL(dialog, ShowOpen(_)).WillOnce(Return(std::nullopt));
    ExpectOriginalSize();
    form.fileOpen();
    EXPECT_EQ(form.CurrentDocument, document);
    EXPECT_TRUE(form.DocumentLoaded);
    EXPECT_THAT(form.SelectedFiles, ElementsAre(u"/a/one.mdi"));
}

TEST_F(Form1Test, CancelledDialogWithoutADocumentStillResetsTheZoom) {
    InSequence order;
    EXPECT_CALL(settings, GetSetting(kApp, kOpen, kKey, _)).WillOnce(Return(u"/home/ann/"));
    EXPECT_CALL(dialog, ShowOpen(_)).WillOnce(Return(std::nullopt));
    ExpectOriginalSize();
    form.fileOpen();
    EXPECT_FALSE(form.DocumentLoaded);
    EXPECT_TRUE(form.SelectedFiles.empty());
}

TEST_F(Form1Test, DialogResultIsTrimmedAndCutAtTheFirstNul) {
    const struct {
        std::u16string raw;
        std::u16string path;
    } cases[] = {
        {u"  /a b/c.mdi  ", u"/a b/c.mdi"},
        {std::u16string(u"/x/y.mdi\0/x/z.mdi", 17), u"/x/y.mdi"},
        {u"/plain.mdi", u"/plain.mdi"},
        // The buffer as the dialog leaves it: a name's own trailing space stays.
        {std::u16string(u"/a/name \0\0\0", 11), u"/a/name "},
    };
    for (const auto& c : cases) {
        EXPECT_CALL(dialog, ShowOpen(_)).WillOnce(Return(c.raw));
        EXPECT_EQ(form.ShowOpenDialog(kOwner, u"/"), 1);
        EXPECT_THAT(form.SelectedFiles, ElementsAre(c.path));
    }
}

TEST_F(Form1Test, SecondOpenReplacesTheFirstWithoutClosingIt) {
    auto first = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    // `first` is strict: a Close on it would fail the test.
    auto second = OpenThroughDialog(u"/b/two.mdi", u"/b/");
    EXPECT_EQ(form.CurrentDocument, second);
    EXPECT_TRUE(form.DocumentLoaded);
    EXPECT_EQ(first.use_count(), 1) << "the program still holds the first document";
}

TEST_F(Form1Test, CloseLetsGoClosesWithoutSavingAndReleasesInOrder) {
    auto document = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    InSequence order;
    EXPECT_CALL(viewer, SetFileName(std::u16string())).WillOnce([this](const std::u16string&) {
        EXPECT_FALSE(form.DocumentLoaded) << "the flag drops before the viewer lets go";
    });
    EXPECT_CALL(*document, Close(false));
    form.fileClose();
    EXPECT_EQ(form.CurrentDocument, nullptr);
    EXPECT_FALSE(form.DocumentLoaded);
    // A second close, and a close without any document, make no call at all.
    form.fileClose();
    Form1 fresh{Form1Ports{viewer, factory, settings, dialog, messages, window, attributes, browser,
                           dialogs.dialogs, questions, dialogs.printers,
                           PlatformTraits::Windows()}};
    fresh.fileClose();
}

TEST_F(Form1Test, FitCommandsAskTheViewerOnlyWithADocument) {
    form.data_byHeight();  // strict viewer: no call allowed
    form.data_byWidth();
    auto document = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    InSequence order;
    EXPECT_CALL(viewer, SetFitMode(imaging::kFitHeight));
    EXPECT_CALL(viewer, SetFitMode(imaging::kFitWidth));
    form.data_byHeight();
    form.data_byWidth();
}

TEST_F(Form1Test, ZoomCommandsReachTheViewerWithoutADocument) {
    InSequence order;
    EXPECT_CALL(viewer, GetZoom(_, _));
    EXPECT_CALL(viewer, SetZoom(Eq(1.3), Eq(1.3)));
    EXPECT_CALL(viewer, GetZoom(_, _));
    EXPECT_CALL(viewer, SetZoom(Eq(1.0 / 1.3), Eq(1.0 / 1.3)));
    ExpectOriginalSize();
    ON_CALL(viewer, GetZoom).WillByDefault([](double& a, double& b) { a = b = 1.0; });
    form.data_dec();
    form.data_inc();
    form.original_size();
}

TEST_F(Form1Test, IsDocumentOpenAsksImagesThenCountAndNeverRaises) {
    auto document = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    auto pages = std::make_shared<StrictMock<MockImageCollection>>();
    {
        InSequence order;
        EXPECT_CALL(*document, Images()).WillOnce(Return(pages));
        EXPECT_CALL(*pages, Count()).WillOnce(Return(3));
    }
    EXPECT_TRUE(form.IsDocumentOpen());
    EXPECT_CALL(*document, Images()).WillOnce(Throw(Error(errors::kObjectNotSet, "closed")));
    EXPECT_FALSE(form.IsDocumentOpen());
    EXPECT_CALL(*document, Images()).WillOnce(Return(pages));
    EXPECT_CALL(*pages, Count()).WillOnce(Throw(std::runtime_error("gone")));
    EXPECT_FALSE(form.IsDocumentOpen());
}

TEST_F(Form1Test, FailedOpenIsReportedAndKeepsTheShownDocumentWithTheFolderRemembered) {
    auto shown = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    auto broken = NewDocument();
    InSequence order;
    EXPECT_CALL(settings, GetSetting(kApp, kOpen, kKey, _)).WillOnce(Return(u"/a/"));
    EXPECT_CALL(dialog, ShowOpen(_)).WillOnce(Return(u"/bad/x.mdi"));
    EXPECT_CALL(settings, SaveSetting(kApp, kOpen, kKey, std::u16string(u"/bad/")));
    EXPECT_CALL(factory, NewDocument()).WillOnce(Return(broken));
    EXPECT_CALL(*broken, Create(_))
        .WillOnce(Throw(Error(errors::kInvalidFileFormat, "/bad/x.mdi is not a TIFF file")));
    EXPECT_CALL(messages, Show(std::u16string(u"Error 321: /bad/x.mdi is not a TIFF file"), kApp,
                               MessageIcon::Error));
    // The viewer still shows the first document: it is the program's again, unclosed
    // (`shown` is strict: a Close or a SetFileName would fail the test).
    EXPECT_CALL(viewer, GetDocument()).WillOnce(Return(shown));
    EXPECT_FALSE(form.RunCommand(u"fileOpen"));
    EXPECT_EQ(form.CurrentDocument, shown);
    EXPECT_TRUE(form.DocumentLoaded);
    // The program goes on: the next command runs normally.
    ExpectOriginalSize();
    EXPECT_TRUE(form.RunCommand(u"original_size"));
}

TEST_F(Form1Test, FailedFirstOpenEndsWithoutADocument) {
    auto broken = NewDocument();
    EXPECT_CALL(settings, GetSetting(_, _, _, _)).WillOnce(Return(u"/a/"));
    EXPECT_CALL(dialog, ShowOpen(_)).WillOnce(Return(u"/bad/x.mdi"));
    EXPECT_CALL(settings, SaveSetting(_, _, _, _));
    EXPECT_CALL(factory, NewDocument()).WillOnce(Return(broken));
    EXPECT_CALL(*broken, Create(_)).WillOnce(Throw(Error(errors::kInvalidFileFormat, "bad")));
    EXPECT_CALL(messages, Show(_, kApp, MessageIcon::Error));
    EXPECT_CALL(viewer, GetDocument()).WillOnce(Return(nullptr));
    EXPECT_FALSE(form.RunCommand(u"fileOpen"));
    EXPECT_EQ(form.CurrentDocument, nullptr);
    EXPECT_FALSE(form.DocumentLoaded);
}

TEST_F(Form1Test, UnusableSettingsAreReportedAndTheDocumentStillOpens) {
    auto document = NewDocument();
    InSequence order;
    EXPECT_CALL(settings, GetSetting(kApp, kOpen, kKey, _))
        .WillOnce(
            Throw(Error(errors::kInvalidFileFormat, "The settings file s.conf cannot be read")));
    EXPECT_CALL(messages, Show(std::u16string(u"The settings file s.conf cannot be read\n\n"
                                              u"The dialog starts in /home/ann/"),
                               kApp, MessageIcon::Error));
    EXPECT_CALL(dialog, ShowOpen(Field(&OpenFileRequest::initialFolder, u"/home/ann/")))
        .WillOnce(Return(u"/a/one.mdi"));
    EXPECT_CALL(settings, SaveSetting(kApp, kOpen, kKey, std::u16string(u"/a/")))
        .WillOnce(
            Throw(Error(errors::kPermissionDenied, "The settings file s.conf cannot be written")));
    EXPECT_CALL(messages, Show(std::u16string(u"The settings file s.conf cannot be written\n\n"
                                              u"The folder of this document is not remembered."),
                               kApp, MessageIcon::Error));
    EXPECT_CALL(factory, NewDocument()).WillOnce(Return(document));
    EXPECT_CALL(*document, Create(std::u16string(u"/a/one.mdi")));
    EXPECT_CALL(viewer, SetDocument(_));
    ExpectOriginalSize();
    EXPECT_TRUE(form.RunCommand(u"fileOpen"));
    EXPECT_EQ(form.CurrentDocument, document);
    EXPECT_TRUE(form.DocumentLoaded);
}

TEST_F(Form1Test, FailedCloseStillEndsWithoutADocument) {
    auto document = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    EXPECT_CALL(viewer, SetFileName(std::u16string()));
    EXPECT_CALL(*document, Close(false)).WillOnce(Throw(Error(errors::kDeviceIoError, "io")));
    EXPECT_CALL(messages, Show(std::u16string(u"Error 57: io"), kApp, MessageIcon::Error));
    EXPECT_CALL(viewer, GetDocument()).WillOnce(Return(nullptr));
    EXPECT_FALSE(form.RunCommand(u"fileClose"));
    EXPECT_EQ(form.CurrentDocument, nullptr);
    EXPECT_FALSE(form.DocumentLoaded);
}

TEST_F(Form1Test, FailedZoomKeepsTheDocumentShown) {
    auto document = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    EXPECT_CALL(viewer, GetZoom(_, _)).WillOnce([](double& a, double& b) { a = b = 1.5e308; });
    EXPECT_CALL(messages, Show(_, kApp, MessageIcon::Error));
    EXPECT_CALL(viewer, GetDocument()).WillOnce(Return(document));
    EXPECT_FALSE(form.RunCommand(u"data_dec"));
    EXPECT_EQ(form.CurrentDocument, document);
    EXPECT_TRUE(form.DocumentLoaded);
}

TEST_F(Form1Test, FailedCommandWithAViewerThatCannotAnswerEndsWithoutADocument) {
    OpenThroughDialog(u"/a/one.mdi", u"/a/");
    EXPECT_CALL(viewer, GetZoom(_, _)).WillOnce([](double& a, double& b) { a = b = 1.5e308; });
    EXPECT_CALL(messages, Show(_, kApp, MessageIcon::Error));
    EXPECT_CALL(viewer, GetDocument()).WillOnce(Throw(std::runtime_error("viewer gone")));
    EXPECT_CALL(viewer, SetFileName(std::u16string()));
    EXPECT_FALSE(form.RunCommand(u"data_dec"));
    EXPECT_EQ(form.CurrentDocument, nullptr);
    EXPECT_FALSE(form.DocumentLoaded);
}

TEST_F(Form1Test, FailedCommandWhileTheViewerShowsAnotherDocumentTakesThatDocument) {
    OpenThroughDialog(u"/a/one.mdi", u"/a/");
    auto other = NewDocument();
    EXPECT_CALL(viewer, GetZoom(_, _)).WillOnce([](double& a, double& b) { a = b = 1.5e308; });
    EXPECT_CALL(messages, Show(_, kApp, MessageIcon::Error));
    EXPECT_CALL(viewer, GetDocument()).WillOnce(Return(other));
    EXPECT_FALSE(form.RunCommand(u"data_dec"));
    EXPECT_EQ(form.CurrentDocument, other);
    EXPECT_TRUE(form.DocumentLoaded);
}

TEST_F(Form1Test, EveryMenuCommandRunsByNameAndUnknownNamesAreReported) {
    ON_CALL(viewer, GetZoom).WillByDefault([](double& a, double& b) { a = b = 1.0; });
    EXPECT_CALL(viewer, GetZoom(_, _)).Times(3);
    EXPECT_CALL(viewer, SetZoom(_, _)).Times(3);
    for (const char16_t* name : {u"fileClose", u"data_byHeight", u"data_byWidth", u"data_dec",
                                 u"data_inc", u"original_size"}) {
        EXPECT_TRUE(form.RunCommand(name)) << std::string(name, name + 4);
    }
    EXPECT_CALL(messages,
                Show(std::u16string(u"Error 445: The command \"fileSing\" does not exist"), kApp,
                     MessageIcon::Error));
    EXPECT_CALL(viewer, GetDocument()).WillOnce(Return(nullptr));
    EXPECT_FALSE(form.RunCommand(u"fileSing"));
}

}  // namespace
}  // namespace folio::app
