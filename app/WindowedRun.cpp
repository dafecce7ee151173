#include "app/WindowedRun.h"

#include <utility>

#include "app/PortraitChoice.h"
#include "app/PortraitCredits.h"
#include "app/UserSettings.h"

namespace norvo {

RunSettings MakeWindowedRunSettings(const std::string& workFolder, const ServiceAddresses& services,
                                    std::shared_ptr<LandmarkModel> landmarks) {
    RunSettings settings = MakeRunSettings(workFolder, services);
    settings.labelPortrait = LabelWanted(false);
    settings.offerChoices = true;
    settings.landmarks = std::move(landmarks);
    settings.blendSettingsPath = UserSettings::DefaultPath();
    return settings;
}

void RunWindowed(const RunSettings& settings, RunView& view, const std::string& body,
                 const std::string& face) {
    RunSettings current = settings;
    std::string ignored;  // an unknown style in the settings file just means classic here
    current.blend = ResolveBlendStyle("", UserSettings(settings.blendSettingsPath), ignored);
    CreateRun run(view, current);
    run.Run(body, face);
}

}  // namespace norvo
