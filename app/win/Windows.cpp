#include "app/win/Windows.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "app/EmbeddedGallery.h"
#include "app/ServiceSetup.h"
#include "app/WindowedRun.h"
#include "app/win/MainWindow.h"
#include "app/win/ProgressWindow.h"
#include "app/win/WinMessageBox.h"
#include "imaging/LandmarkModel.h"
#include "imaging/NaturalBlend.h"
#include "saori/WorkFolder.h"

namespace norvo {

int RunWindows(int /*argc*/, char** /*argv*/) {
    // Started from Explorer the console is ours alone: it goes, and the windows stay.
    DWORD consoleProcesses[2];
    if (GetConsoleProcessList(consoleProcesses, 2) == 1) {
        FreeConsole();
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    EmbeddedGallery gallery;
    ServiceAddresses services;
    std::string why;
    const ServiceSetupStatus setup = SetUpServices("", "", gallery, services, why);
    WorkFolder work;
    if (setup != ServiceSetupStatus::Ok) {
        win::ShowMessageBox(nullptr, why, MessageKind::Warning);
        return 1;
    }
    if (!work.IsValid()) {
        win::ShowMessageBox(nullptr, WorkFolder::describe(work.CreateStatus()),
                            MessageKind::Warning);
        return 1;
    }

    // One landmark model for all runs, read on a thread of its own once the windows are up.
    auto landmarks = std::make_shared<LandmarkModel>(LandmarkModel::DefaultPath());
    const RunSettings settings = MakeWindowedRunSettings(work.Path(), services, landmarks);

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    win::ProgressThread progress;
    progress.Start(instance);
    win::MainWindow window;
    window.SetRunJob([settings](RunView& view, const std::string& body, const std::string& face) {
        RunWindowed(settings, view, body, face);
    });
    if (!window.Create(instance)) {
        return 1;
    }
    landmarks->StartLoading(PrepareNaturalBlend);
    return win::RunMessageLoop();
}

}  // namespace norvo
