#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/fakes.h"
#include "app/form1.h"
#include "app/output_fakes.h"

namespace folio::app {

using ::testing::_;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::Field;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::StrictMock;
using ::testing::Throw;
using namespace folio::testing;

inline const std::u16string kApp = u"FolioLens";
inline const std::u16string kOpen = u"open";
inline const std::u16string kKey = u"fo";
inline constexpr WindowHandle kOwner = 0x1234;

// Form1 wired to strict fakes: every call a test does not expect fails it.
struct Form1Test : ::testing::Test {
    StrictMock<MockViewer> viewer;
    StrictMock<MockDocumentFactory> factory;
    StrictMock<MockSettings> settings;
    StrictMock<MockOpenDialog> dialog;
    StrictMock<MockMessageBox> messages;
    NiceMock<MockMainWindow> window;
    StrictMock<MockFileAttributes> attributes;
    StrictMock<MockUrlOpener> browser;
    DialogRig dialogs;
    StrictMock<MockQuestions> questions;
    Form1 form{Form1Ports{viewer, factory, settings, dialog, messages, window, attributes, browser,
                          dialogs.dialogs, questions, dialogs.printers,
                          PlatformTraits::Posix(u"/home/ann")}};

    Form1Test() { ON_CALL(window, Handle()).WillByDefault(Return(kOwner)); }

    std::shared_ptr<StrictMock<MockDocument>> NewDocument() {
        return std::make_shared<StrictMock<MockDocument>>();
    }

    void ExpectOriginalSize() {
        EXPECT_CALL(viewer, GetZoom(Eq(0.0), Eq(0.0)));
        EXPECT_CALL(viewer, SetZoom(Eq(1.0), Eq(1.0)));
    }

    // Opens `path` through the dialog, checking each call in order.
    std::shared_ptr<StrictMock<MockDocument>> OpenThroughDialog(const std::u16string& path,
                                                                const std::u16string& folder) {
        auto document = NewDocument();
        InSequence order;
        EXPECT_CALL(settings, GetSetting(kApp, kOpen, kKey, std::u16string(u"/home/ann/")))
            .WillOnce(Return(u"/home/ann/"));
        EXPECT_CALL(dialog, ShowOpen(_)).WillOnce(Return(path));
        EXPECT_CALL(settings, SaveSetting(kApp, kOpen, kKey, folder));
        EXPECT_CALL(factory, NewDocument()).WillOnce(Return(document));
        EXPECT_CALL(*document, Create(path));
        EXPECT_CALL(viewer, SetDocument(Eq(std::shared_ptr<imaging::Document>(document))));
        ExpectOriginalSize();
        form.fileOpen();
        ::testing::Mock::VerifyAndClearExpectations(&viewer);
        return document;
    }
};

}  // namespace folio::app
