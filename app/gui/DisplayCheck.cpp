#include "app/gui/DisplayCheck.h"

#include "app/gui/WindowTexts.h"
#include "text/UserText.h"

namespace norvo {

namespace {

bool IsSet(const char* value) {
    return value != nullptr && value[0] != '\0';
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

bool HasDisplay(const EnvironmentLookup& getenv) {
#if defined(__unix__) && !defined(__APPLE__)
    const char* platform = getenv("QT_QPA_PLATFORM");
    if (IsSet(platform)) {
        const std::string name = platform;
        // Only the X11 and Wayland plug-ins need a display server; offscreen, vnc, eglfs and
        // the like draw elsewhere.
        if (!StartsWith(name, "xcb") && !StartsWith(name, "wayland")) {
            return true;
        }
    }
    return IsSet(getenv("DISPLAY")) || IsSet(getenv("WAYLAND_DISPLAY"));
#else
    (void)getenv;
    return true;
#endif
}

std::string NoDisplayMessage(const std::string& program) {
    return ComposeText(kNoDisplayText, {program});
}

}  // namespace norvo
