#pragma once

#include <memory>
#include <string>

#include "app/CreateRun.h"
#include "app/ServiceSetup.h"

namespace norvo {

class LandmarkModel;

// The settings of the runs the windows start: the portrait labelled unless the user said no,
// the choices offered in the save step, one landmark model for all runs, and a blend switched
// to in a save step kept in the settings file for the next runs.
RunSettings MakeWindowedRunSettings(const std::string& workFolder, const ServiceAddresses& services,
                                    std::shared_ptr<LandmarkModel> landmarks);

// One Create run of the windows. The blend is read from the settings file for every run, so a
// style switched to in the last save step applies to the next.
void RunWindowed(const RunSettings& settings, RunView& view, const std::string& body,
                 const std::string& face);

}  // namespace norvo
