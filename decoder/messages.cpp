#include "messages.h"

#include <atomic>
#include <cstdio>

namespace halvaris {

namespace {
void PrintMessage(const char* text, const char* caption) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
}

std::atomic<MessageHandler> handler{PrintMessage};
}  // namespace

void SetMessageHandler(MessageHandler newHandler) {
  handler.store(newHandler != nullptr ? newHandler : PrintMessage);
}

void ReportMessage(const char* text, const char* caption) {
  handler.load()(text, caption);
}

}  // namespace halvaris
