#include "message_box.h"

#include <windows.h>

namespace halvaris::install {
namespace {

int ShowMessageBox(const char* text, const char* caption, unsigned int type) {
  return MessageBoxA(nullptr, text, caption, type);
}

MessageBoxHandler currentHandler = ShowMessageBox;

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = currentHandler;
  currentHandler = handler != nullptr ? handler : ShowMessageBox;
  return previous;
}

bool AskYesNo(const char* question) {
  return currentHandler(question, messageCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TellUser(const char* message) {
  currentHandler(message, messageCaption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace halvaris::install
