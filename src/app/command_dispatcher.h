#pragma once

#include <functional>
#include <string>

#include "platform/message_box.h"

namespace folio::app {

// Runs menu commands. Its last-resort handler reports an error that escaped a command
// in a message box with the error's number and description and lets the program go
// on: ending the program because one command failed would be a crash to the user.
class CommandDispatcher {
  public:
    explicit CommandDispatcher(MessageBox& messages);

    // Runs `command`; false when it failed and the failure was reported.
    bool Run(const std::function<void()>& command);

  private:
    MessageBox& messages_;
};

// The text the last-resort handler shows for an error.
std::u16string LastResortText(int number, const std::u16string& description);

}  // namespace folio::app
