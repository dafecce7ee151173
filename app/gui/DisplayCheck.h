#pragma once

#include <functional>
#include <string>

namespace norvo {

// Looks up one environment variable; nullptr when unset.
using EnvironmentLookup = std::function<const char*(const char*)>;

// Whether windows can be opened at all: true with a display (DISPLAY, WAYLAND_DISPLAY) or a
// platform plug-in that needs none (QT_QPA_PLATFORM=offscreen, vnc, ...); always true on
// systems without X11 or Wayland.
bool HasDisplay(const EnvironmentLookup& getenv);

// The one line that says there is no display and how to run headless instead.
std::string NoDisplayMessage(const std::string& program);

}  // namespace norvo
