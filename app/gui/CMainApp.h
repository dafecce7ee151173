#pragma once

namespace norvo {

// The application object: starts the lookup service when none is configured, creates the
// progress window hidden and the main dialog, and runs until the main dialog closes.
class CMainApp {
public:
    // Returns the exit status: 0 after the main dialog closed, 1 when start-up failed (after
    // telling the user why).
    int InitInstance(int argc, char** argv);
};

}  // namespace norvo
