#include "app/ServiceSetup.h"

#include <cstdlib>

#include "app/UserSettings.h"
#include "lookup/SourceList.h"
#include "saori/Platform.h"
#include "text/UserText.h"

namespace norvo {

namespace {

#ifdef _WIN32
constexpr char kGalleryProgram[] = "norvo-gallery.exe";
constexpr char kModuleFile[] = "httpc.dll";
#else
constexpr char kGalleryProgram[] = "norvo-gallery";
constexpr char kModuleFile[] = "httpc.so";
#endif
constexpr char kGalleryFolder[] = "gallery";
constexpr char kMaskFile[] = "mask.png";

// The reason given when the picture sources are not a usable list; `detail` names the entry.
std::string BadSourcesText(const std::string& detail) {
    return ComposeText(kBadSourcesText, {detail});
}

bool IsHttpAddress(const std::string& address) {
    for (const char* scheme : {"http://", "https://"}) {
        const std::string s = scheme;
        if (address.size() > s.size() && address.compare(0, s.size(), s) == 0) {
            return true;
        }
    }
    return false;
}

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

const char* describe(ServiceSetupStatus status) {
    switch (status) {
        case ServiceSetupStatus::Ok:
            return "service addresses set";
        case ServiceSetupStatus::BadAddress:
            return "a service address is not an http:// or https:// address";
        case ServiceSetupStatus::GalleryFailed:
            return "the bundled gallery service could not be started";
        case ServiceSetupStatus::BadSources:
            return "the picture sources are not a usable list";
    }
    return "unknown service setup status";
}

std::string TrimBaseAddress(std::string address) {
    while (!address.empty() && address.back() == '/') {
        address.pop_back();
    }
    return address;
}

ServiceSetupStatus SetUpServices(const std::string& searchOption, const std::string& detectOption,
                                 EmbeddedGallery& gallery, ServiceAddresses& out, std::string& why,
                                 const std::string& sourcesOption) {
    std::string search = !searchOption.empty() ? searchOption : FromEnvironment(kSearchUrlVariable);
    std::string detect = !detectOption.empty() ? detectOption : FromEnvironment(kDetectUrlVariable);

    if (search.empty() && detect.empty()) {
        const std::string list = ResolveSetting(sourcesOption, kSourcesVariable, UserSettings(),
                                                kSourcesKey, kDefaultSources);
        std::string bad;
        const auto sources = ParseSourceList(list, bad);
        if (!sources) {
            why = BadSourcesText(bad);
            return ServiceSetupStatus::BadSources;
        }
        gallery.SetSources(SourceListText(*sources));
        // Both beside this program; an unknown program folder gives "" (no program), never a
        // name taken from the working folder.
        const std::string programFolder = platform::ProgramFolder();
        const std::string program = programFolder.empty() ? "" : programFolder + kGalleryProgram;
        const std::string pictures = platform::DataFolder() + kGalleryFolder;
        const EmbeddedGallery::Status started = gallery.Start(program, pictures);
        if (started != EmbeddedGallery::Status::Ok) {
            why = ComposeText(kGalleryStartFailedText,
                              {UserText(EmbeddedGallery::describe(started)), program});
            return ServiceSetupStatus::GalleryFailed;
        }
        search = detect = gallery.Address();
    } else if (search.empty()) {
        search = detect;
    } else if (detect.empty()) {
        detect = search;
    }
    // Judged without the trailing slashes, which are dropped anyway: "http:///" has no host.
    for (const std::string* address : {&search, &detect}) {
        if (!IsHttpAddress(TrimBaseAddress(*address))) {
            why = ComposeText(kNotHttpAddressText, {*address});
            return ServiceSetupStatus::BadAddress;
        }
    }
    out.search = TrimBaseAddress(search);
    out.detect = TrimBaseAddress(detect);
#ifdef _WIN32
    // The C runtime's environment, which the module (on the same msvcrt.dll) reads.
    _putenv_s(kProbeUrlVariable, out.search.c_str());
#else
    setenv(kProbeUrlVariable, out.search.c_str(), 1);
#endif
    return ServiceSetupStatus::Ok;
}

RunSettings MakeRunSettings(const std::string& workFolder, const ServiceAddresses& services) {
    RunSettings settings;
    // An unknown program folder leaves the module path empty, which the loader refuses,
    // rather than a bare name it would take from the working folder.
    const std::string moduleFolder = platform::ModuleFolder();
    settings.modulePath = moduleFolder.empty() ? "" : moduleFolder + kModuleFile;
    settings.workFolder = workFolder;
    settings.searchBase = services.search;
    settings.detectBase = services.detect;
    // Missing, the run names this file in its message.
    const std::string dataFolder = platform::DataFolder();
    settings.maskPath = dataFolder.empty() ? "" : dataFolder + kMaskFile;
    return settings;
}

}  // namespace norvo
