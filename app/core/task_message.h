#pragma once
// ShowTaskMessage: the program's one message routine. On newer systems it
// shows a task dialog, on older ones the standard message dialog.

#include <cstdint>
#include <string_view>

#include "app/core/message_dialog.h"

namespace dezede::freebolt {

// Returns the button result; -1 when no task dialog can be shown on a newer system.
int32_t ShowTaskMessage(std::string_view instruction, std::string_view content, TMsgDlgType type,
                        int32_t helpContext, TMsgDlgButtons buttons);

}  // namespace dezede::freebolt
