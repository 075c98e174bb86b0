#pragma once

#include <gmock/gmock.h>

#include "app/fakes.h"
#include "output/output_ports.h"
#include "support/dialog_fakes.h"

namespace folio::testing {

// Matches a text that holds `part`.
MATCHER_P(HasText, part, "") {
    return arg.find(part) != std::u16string::npos;
}

class MockQuestions : public QuestionBox {
  public:
    MOCK_METHOD(bool, AskYesNo, (const std::u16string&, const std::u16string&), (override));
};

// The output commands over a real comDLG with fakes behind every port.
struct OutputRig : DialogRig {
    ::testing::StrictMock<MockSettings> settings;
    ::testing::StrictMock<MockFileAttributes> files;
    ::testing::StrictMock<MockQuestions> questions;
    ::testing::StrictMock<MockDocument> document;
    ::testing::NiceMock<MockMainWindow> window;
    output::OutputPorts ports{dialogs,   window,   settings, files,
                              questions, messages, printers, PlatformTraits::Windows()};
};

}  // namespace folio::testing
