#pragma once

#include <windows.h>

#include <string>

#include "app/RunView.h"

namespace norvo::win {

// The program's message boxes: the warning caption with one OK button and the exclamation
// icon, or the program's name as caption without an icon. Returns once the user has answered.
void ShowMessageBox(HWND owner, const std::string& text, MessageKind kind);

// The caption a box of `kind` has, in the user's language.
std::wstring MessageCaption(MessageKind kind);

}  // namespace norvo::win
