#include "app/win/WinMessageBox.h"

#include "app/gui/WindowTexts.h"
#include "base/WideText.h"
#include "text/UserText.h"

namespace norvo::win {

std::wstring MessageCaption(MessageKind kind) {
    return kind == MessageKind::Warning ? ToWide(UserText(kWarningCaptionText)) : L"norvo";
}

void ShowMessageBox(HWND owner, const std::string& text, MessageKind kind) {
    const UINT type = MB_OK | (kind == MessageKind::Warning ? MB_ICONEXCLAMATION : 0);
    // The run's texts break lines with "\r\n" as the message box wants; bare "\n" is fine too.
    MessageBoxW(owner, ToWide(UserText(text.c_str())).c_str(), MessageCaption(kind).c_str(), type);
}

}  // namespace norvo::win
