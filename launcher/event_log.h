// The launcher's event log.
#pragma once

#include <string_view>

// Appends `message` to the event log exactly as given: no time stamp, no
// level, no line end added. The log is opened and closed for every message;
// a message that can't be written is dropped without notice.
void log_append(std::string_view message);
