#pragma once

namespace norvo {

// Opens the main window and runs until it closes; returns the process exit status.
int RunWindows(int argc, char** argv);

}  // namespace norvo
