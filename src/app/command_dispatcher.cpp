#include "app/command_dispatcher.h"

#include <exception>
#include <new>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "platform/main_window.h"

namespace folio::app {

CommandDispatcher::CommandDispatcher(MessageBox& messages) : messages_(messages) {}

std::u16string LastResortText(int number, const std::u16string& description) {
    return u"Error " + FromUtf8(std::to_string(number)) + u": " + description;
}

bool CommandDispatcher::Run(const std::function<void()>& command) {
    int number = 0;
    std::u16string description;
    try {
        command();
        return true;
    } catch (const Error& e) {
        number = e.Number();
        description = FromUtf8(e.what());
    } catch (const std::bad_alloc&) {
        number = errors::kOutOfMemory;
        description = u"Out of memory";
    } catch (const std::exception& e) {
        number = errors::kInvalidProcedureCall;
        description = FromUtf8(e.what());
    }
    messages_.Show(LastResortText(number, description), kAppTitle, MessageIcon::Error);
    return false;
}

}  // namespace folio::app
