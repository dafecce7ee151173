#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/RunView.h"

namespace norvo::win {

// The standard save dialog titled as the program's, for JPEG files (".jpg" added to a name
// typed without it, an existing file only replaced after asking). With `portrait` the dialog
// shows it beside the file list with the natural-blend switch and, when the run offers them,
// each side's pictures and people and the body's faces to switch; the style on show is left
// chosen in `portrait`. The chosen path in UTF-8; nullopt when the user cancels.
std::optional<std::string> AskSaveFile(HWND owner, PortraitPreview* portrait);

}  // namespace norvo::win
