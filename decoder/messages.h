#pragma once

namespace halvaris {

// The decoder tells the user about resource failures (out of memory, a worker that could not be
// started) through one replaceable handler: the filter shows a message box, the command-line
// tools print to standard error, tests record what would have been shown.
using MessageHandler = void (*)(const char* text, const char* caption);

// Installs a handler; nullptr restores the default, which writes "caption: text" to stderr.
void SetMessageHandler(MessageHandler handler);

void ReportMessage(const char* text, const char* caption);

}  // namespace halvaris
