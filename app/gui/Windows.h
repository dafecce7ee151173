#pragma once

namespace norvo {

// Opens the main window and runs until it closes; returns the process exit status. Without a
// display it says so in one line and returns 1 instead of aborting.
int RunWindows(int argc, char** argv);

}  // namespace norvo
