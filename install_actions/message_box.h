// Every message box of the installer actions goes through one replaceable function: the
// installer's user answers the real MessageBoxA, tests answer through their own handler.
#pragma once

namespace halvaris::install {

// Same meaning as MessageBoxA without an owner window: returns IDYES, IDNO, IDOK, ...
using MessageBoxHandler = int (*)(const char* text, const char* caption, unsigned int type);

// Installs a handler; nullptr restores MessageBoxA. Returns the handler that was in place.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Asks a Yes/No question; true when the answer is Yes.
bool AskYesNo(const char* question);

// Tells the user something, with an OK button.
void TellUser(const char* message);

inline constexpr char messageCaption[] = "Halvaris";

}  // namespace halvaris::install
