#include <sstream>

#include "app/form1_fixture.h"
#include "app/registration_dispatch.h"
#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "support/fake_command_line_source.h"
#include "support/recording_registry.h"

namespace folio::app {
namespace {

using fakes::FakeCommandLineSource;

constexpr int32_t kNt = CommandLineSource::kNtFamily;
constexpr int32_t kWindows9x = 1;

class Utf8Codec : public TextCodec {
  public:
    std::string ToAnsi(std::u16string_view text) const override { return ToUtf8(text); }
    std::u16string FromAnsi(std::string_view bytes) const override { return FromUtf8(bytes); }
};

class RecordingDesktop : public DesktopAssociation {
  public:
    void Register(const FileType& fileType) override {
        registered.push_back(fileType.program);
        if (fail) {
            throw Error(errors::kPermissionDenied, "cannot write ~/.local/share/applications");
        }
    }
    void Unregister(std::u16string_view programmaticId) override {
        unregistered.emplace_back(programmaticId);
    }
    std::vector<std::u16string> registered;
    std::vector<std::u16string> unregistered;
    bool fail = false;
};

// A registry in which nothing is registered yet: removal finds no key.
class EmptyRegistry : public testing::RecordingRegistry {
  public:
    std::int32_t DeleteTree(Handle root, std::string_view subKey) override {
        RecordingRegistry::DeleteTree(root, subKey);
        return kFileNotFound;
    }
};

enum class Dispatch { None, Register, Unregister };

struct CommandLineCase {
    const char* name;
    std::u16string arguments;  // after the program
    int32_t family;
    Dispatch expected;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) {
    *os << c.name;
}

class RegistrationDispatchTest : public ::testing::TestWithParam<CommandLineCase> {
  protected:
    testing::RecordingRegistry registry;
    Utf8Codec codec;
    RecordingDesktop desktop;
    std::ostringstream errors;

    std::optional<int> Dispatch(const std::u16string& arguments, int32_t family,
                                const PlatformTraits& traits = PlatformTraits::Windows(),
                                const RunningProgram& program = {u"C:\\Apps", u"FolioLens"}) {
        FakeCommandLineSource source(u"C:\\Apps\\FolioLens.exe " + arguments, family);
        const CommandLine commandLine(source, traits);
        return DispatchRegistration(commandLine, program, traits,
                                    {registry, codec, desktop, errors});
    }
};

TEST_P(RegistrationDispatchTest, RegistersOrRemovesOnlyForTheExactCommandWord) {
    const CommandLineCase& c = GetParam();
    const std::optional<int> ended = Dispatch(c.arguments, c.family);
    switch (c.expected) {
        case Dispatch::None:
            EXPECT_EQ(ended, std::nullopt);
            EXPECT_TRUE(registry.calls.empty());
            EXPECT_TRUE(desktop.registered.empty() && desktop.unregistered.empty());
            break;
        case Dispatch::Register:
            EXPECT_EQ(ended, 0);
            ASSERT_EQ(registry.calls.size(), 21u);
            EXPECT_EQ(registry.calls[0], "CreateKey(0x80000000, \".mdi\", 0, null, 0, 63)");
            EXPECT_EQ(registry.calls[19],
                      "SetValue(0x107, \"\", 0, 1, \"C:\\Apps\\FolioLens.exe\\0\", 22)");
            EXPECT_THAT(desktop.registered, ElementsAre(u"C:\\Apps\\FolioLens.exe"));
            break;
        case Dispatch::Unregister:
            EXPECT_EQ(ended, 0);
            EXPECT_THAT(registry.calls, ElementsAre("DeleteTree(0x80000000, \"Folio_Lens\")"));
            EXPECT_THAT(desktop.unregistered, ElementsAre(u"Folio_Lens"));
            break;
    }
    EXPECT_EQ(errors.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, RegistrationDispatchTest,
    ::testing::Values(
        CommandLineCase{"NtTwoWords", u"assoc reg", kNt, Dispatch::Register},
        CommandLineCase{"NtColon", u"assoc:reg", kNt, Dispatch::Register},
        CommandLineCase{"NtRunTogether", u"assocreg", kNt, Dispatch::Register},
        CommandLineCase{"NtFlagInCapitals", u"ASSOC reg", kNt, Dispatch::Register},
        CommandLineCase{"NtQuotedWords", u"\"assoc\" \"unreg\"", kNt, Dispatch::Unregister},
        CommandLineCase{"NtUnreg", u"assoc unreg", kNt, Dispatch::Unregister},
        CommandLineCase{"NtUnregColon", u"assoc:unreg", kNt, Dispatch::Unregister},
        CommandLineCase{"NtWordInCapitals", u"assoc:REG", kNt, Dispatch::None},
        CommandLineCase{"NtExtraWord", u"assoc reg extra", kNt, Dispatch::None},
        CommandLineCase{"NtOtherWord", u"assoc register", kNt, Dispatch::None},
        CommandLineCase{"NtNoArgument", u"", kNt, Dispatch::None},
        CommandLineCase{"NtDocument", u"/a/assoc reg.mdi", kNt, Dispatch::None},
        CommandLineCase{"OtherTwoWords", u"assoc reg", kWindows9x, Dispatch::None},
        CommandLineCase{"OtherColon", u"assoc:reg", kWindows9x, Dispatch::Register},
        CommandLineCase{"OtherRunTogether", u"assocunreg", kWindows9x, Dispatch::Unregister},
        CommandLineCase{"OtherWordInCapitals", u"assoc:UNREG", kWindows9x, Dispatch::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegistrationDispatchTest, TheProgramPathJoinsTheFolderWithOneSeparatorWhateverItEndsWith) {
    Dispatch(u"assoc reg", kNt, PlatformTraits::Windows(), {u"D:\\", u"Viewer"});
    EXPECT_THAT(desktop.registered, ElementsAre(u"D:\\\\Viewer.exe"));
    EXPECT_EQ(registry.calls[16], "SetValue(0x106, \"\", 0, 1, \"D:\\\\Viewer %1\\0\", 14)");
    desktop.registered.clear();
    Dispatch(u"assoc:reg", kNt, PlatformTraits::Posix(u"/home/ann"), {u"/", u"foliolens"});
    EXPECT_THAT(desktop.registered, ElementsAre(u"//foliolens"));
    EXPECT_EQ(ProgramPath({u"/opt/folio", u"fl"}, PlatformTraits::Posix(u"/")), u"/opt/folio/fl");
}

TEST_F(RegistrationDispatchTest, EveryFailedWriteIsToldAndTheStatusIsNonZero) {
    registry.failOpen = true;
    desktop.fail = true;
    EXPECT_EQ(Dispatch(u"assoc reg", kNt), 1);
    // Every step still ran.
    EXPECT_EQ(registry.calls.size(), 21u);
    std::vector<std::string> lines;
    std::istringstream text(errors.str());
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    EXPECT_THAT(lines,
                ElementsAre("FolioLens: assoc reg: cannot open the key HKEY_CLASSES_ROOT\\.mdi "
                            "(no such key)",
                            ::testing::HasSubstr("Folio_Lens (no such key)"),
                            ::testing::HasSubstr("Folio_Lens\\shell\\open (no such key)"),
                            ::testing::HasSubstr("Folio_Lens\\shell\\open\\command (no such key)"),
                            ::testing::HasSubstr("Folio_Lens\\DefaultIcon (no such key)"),
                            "FolioLens: assoc reg: cannot write ~/.local/share/applications"));
}

TEST_F(RegistrationDispatchTest, RemovingWhatWasNeverRegisteredIsNoFailure) {
    EmptyRegistry empty;
    FakeCommandLineSource source(u"fl assoc unreg", kNt);
    const CommandLine commandLine(source, PlatformTraits::Windows());
    EXPECT_EQ(DispatchRegistration(commandLine, {u"C:\\", u"fl"}, PlatformTraits::Windows(),
                                   {empty, codec, desktop, errors}),
              0);
    EXPECT_EQ(errors.str(), "");
}

TEST_F(RegistrationDispatchTest, AnErrorRaisedOnTheWayIsToldInsteadOfEndingTheProcess) {
    struct ThrowingRegistry : testing::RecordingRegistry {
        CreateResult CreateKey(Handle, std::string_view, std::uint32_t, const char*, std::uint32_t,
                               std::uint32_t) override {
            throw std::bad_alloc();
        }
    } throwing;
    FakeCommandLineSource source(u"fl assoc:reg", kNt);
    const CommandLine commandLine(source, PlatformTraits::Windows());
    EXPECT_EQ(DispatchRegistration(commandLine, {u"C:\\", u"fl"}, PlatformTraits::Windows(),
                                   {throwing, codec, desktop, errors}),
              1);
    EXPECT_EQ(errors.str(), "FolioLens: assoc reg: std::bad_alloc\n");
}

// The rest of the load step, from the control check on.
struct LoadStepTest : Form1Test {
    std::optional<int> Load(const std::u16string& arguments) {
        FakeCommandLineSource source(u"/opt/fl " + arguments, kNt, u"/opt/fl");
        const CommandLine commandLine(source, PlatformTraits::Posix(u"/home/ann"));
        notes.str("");
        return form.Form_Load(commandLine, &notes);
    }
    std::ostringstream notes;  // standard error
};

TEST_F(LoadStepTest, AnExistingFileIsOpenedAtOriginalSize) {
    auto document = NewDocument();
    InSequence order;
    EXPECT_CALL(viewer, LivenessProbe()).WillOnce(Return(1));
    // Unquoted spaces arrive whole in argument 1.
    EXPECT_CALL(attributes, GetFileAttributes(std::u16string(u"/a/my letter.mdi")))
        .WillOnce(Return(kAttributeNormal));
    EXPECT_CALL(factory, NewDocument()).WillOnce(Return(document));
    EXPECT_CALL(*document, Create(std::u16string(u"/a/my letter.mdi")));
    EXPECT_CALL(viewer, SetDocument(Eq(std::shared_ptr<imaging::Document>(document))));
    ExpectOriginalSize();
    EXPECT_EQ(Load(u"/a/my letter.mdi"), std::nullopt);
    EXPECT_EQ(form.CurrentDocument, document);
    EXPECT_TRUE(form.DocumentLoaded);
}

// Nothing opened is no error and shows no message; the note says what was given and
// why nothing opened.
TEST_F(LoadStepTest, NothingIsOpenedForAMissingPathABareDirectoryOrNoArgument) {
    const struct {
        std::u16string arguments;
        int32_t attributes;
        std::u16string note;
    } cases[] = {
        {u"", kInvalidAttributes, u""},
        {u"/missing/file.mdi", kInvalidAttributes,
         u"Nothing was opened: \"/missing/file.mdi\" does not exist"},
        {u"/home/ann/scans", kAttributeDirectory,
         u"Nothing was opened: \"/home/ann/scans\" is a folder, not a document"},
        {u"/a.mdi /b.mdi", kInvalidAttributes,
         u"Nothing was opened: \"/a.mdi /b.mdi\" does not exist (the words given are read "
         u"as one file name)"},
    };
    for (const auto& c : cases) {
        EXPECT_CALL(viewer, LivenessProbe()).WillOnce(Return(0));
        EXPECT_CALL(attributes, GetFileAttributes(c.arguments)).WillOnce(Return(c.attributes));
        EXPECT_EQ(Load(c.arguments), std::nullopt);
        EXPECT_FALSE(form.DocumentLoaded);
        EXPECT_EQ(form.StartUpNote(), c.note);
        EXPECT_EQ(notes.str(), c.note.empty() ? "" : "FolioLens: " + ToUtf8(c.note) + "\n");
    }
}

TEST_F(LoadStepTest, SeveralArgumentsOpenNothingAndAreNamed) {
    // Where each word is an argument, no file is looked at.
    FakeCommandLineSource source(u"/opt/fl /a.mdi /b.mdi", kWindows9x, u"/opt/fl");
    const CommandLine commandLine(source, PlatformTraits::Posix(u"/home/ann"));
    EXPECT_CALL(viewer, LivenessProbe()).WillOnce(Return(0));
    EXPECT_EQ(form.Form_Load(commandLine), std::nullopt);
    EXPECT_FALSE(form.DocumentLoaded);
    EXPECT_EQ(form.StartUpNote(),
              u"Nothing was opened: 2 arguments were given (\"/a.mdi\" "
              u"\"/b.mdi\"), but one document opens at a time");
}

TEST_F(LoadStepTest, AFileThatCannotBeLoadedEndsTheProgramWithTheLoadError) {
    // A directory with a further attribute bit counts as existing, and then fails.
    for (const int32_t bits : {kAttributeDirectory | kAttributeHidden, kAttributeNormal}) {
        auto document = NewDocument();
        InSequence order;
        EXPECT_CALL(viewer, LivenessProbe()).WillOnce(Return(0));
        EXPECT_CALL(attributes, GetFileAttributes(_)).WillOnce(Return(bits));
        EXPECT_CALL(factory, NewDocument()).WillOnce(Return(document));
        EXPECT_CALL(*document, Create(_)).WillOnce(Throw(Error(errors::kDamagedFile, "damaged")));
        EXPECT_CALL(messages,
                    Show(std::u16string(u"Error loading MDI file"), kApp, MessageIcon::Error))
            .WillOnce([this] {
                EXPECT_EQ(notes.str(),
                          "FolioLens: Error loading MDI file \"/home/ann/.cache\": damaged\n")
                    << "the reason is on standard error while the box waits";
            });
        EXPECT_EQ(Load(u"/home/ann/.cache"), 1);
    }
}

TEST_F(LoadStepTest, AControlThatDoesNotAnswerEndsTheProgramBeforeAnythingIsOpened) {
    EXPECT_CALL(viewer, LivenessProbe())
        .WillOnce(Throw(Error(errors::kObjectNotSet, "no control")));
    EXPECT_CALL(
        messages,
        Show(std::u16string(
                 u"One of the program component is corrupted, please, install FolioLens again"),
             kApp, MessageIcon::Error));
    // Strict attributes and factory: no file is looked at.
    EXPECT_EQ(Load(u"/a/one.mdi"), 1);
}

TEST_F(LoadStepTest, UnloadLetsGoAndClosesOnlyAnOpenDocument) {
    auto document = OpenThroughDialog(u"/a/one.mdi", u"/a/");
    auto pages = std::make_shared<StrictMock<MockImageCollection>>();
    {
        InSequence order;
        EXPECT_CALL(viewer, SetFileName(std::u16string()));
        EXPECT_CALL(*document, Images()).WillOnce(Return(pages));
        EXPECT_CALL(*pages, Count()).WillOnce(Return(2));
        EXPECT_CALL(*document, Close(false));
    }
    form.Form_Unload();
    EXPECT_EQ(form.CurrentDocument, nullptr);
    EXPECT_EQ(document.use_count(), 1);

    // After the user closed the document: the viewer is still told, Close is not called.
    auto second = OpenThroughDialog(u"/a/two.mdi", u"/a/");
    EXPECT_CALL(viewer, SetFileName(std::u16string())).Times(2);
    EXPECT_CALL(*second, Close(false));
    form.fileClose();
    form.Form_Unload();
}

}  // namespace
}  // namespace folio::app
