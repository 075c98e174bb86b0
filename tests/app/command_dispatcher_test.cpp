#include "app/command_dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "app/fakes.h"
#include "common/error.h"

namespace folio::app {
namespace {

using testing::MockMessageBox;
using ::testing::StrictMock;

TEST(CommandDispatcher, ReportsEachKindOfFailureAndCarriesOn) {
    const struct {
        std::function<void()> command;
        std::u16string text;
    } cases[] = {
        {[] { throw Error(76, "Folder \xC3\xBC not found"); },
         u"Error 76: Folder \u00fc not found"},
        {[] { throw std::bad_alloc(); }, u"Error 7: Out of memory"},
        {[] { throw std::logic_error("broken"); }, u"Error 5: broken"},
    };
    StrictMock<MockMessageBox> messages;
    CommandDispatcher dispatcher(messages);
    for (const auto& c : cases) {
        EXPECT_CALL(messages, Show(c.text, std::u16string(u"FolioLens"), MessageIcon::Error));
        EXPECT_FALSE(dispatcher.Run(c.command));
        ::testing::Mock::VerifyAndClearExpectations(&messages);
    }
    bool ran = false;
    EXPECT_TRUE(dispatcher.Run([&ran] { ran = true; }));  // no message for a success
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace folio::app
