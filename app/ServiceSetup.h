#pragma once

#include <string>

#include "app/CreateRun.h"
#include "app/EmbeddedGallery.h"

namespace norvo {

// Environment variables naming the two services, and the module's connection probe.
inline constexpr char kSearchUrlVariable[] = "NORVO_SEARCH_URL";
inline constexpr char kDetectUrlVariable[] = "NORVO_DETECT_URL";
inline constexpr char kProbeUrlVariable[] = "HTTPC_PROBE_URL";

// The two base addresses a program's runs use.
struct ServiceAddresses {
    std::string search;
    std::string detect;
};

enum class ServiceSetupStatus {
    Ok,             // both addresses known
    BadAddress,     // an address is not an http:// or https:// address
    GalleryFailed,  // neither was set and the bundled service could not be started
};

const char* describe(ServiceSetupStatus status);

// What `why` says (patterns: see saori/UserText.h): %1 the address given ...
inline constexpr char kNotHttpAddressText[] = "not an http:// or https:// address: %1";
// ... or what went wrong with the bundled service (EmbeddedGallery::describe), %2 its program.
inline constexpr char kGalleryStartFailedText[] = "%1 (%2)";

// "http://host:1/" -> "http://host:1": the stages append paths beginning with '/'.
std::string TrimBaseAddress(std::string address);

// Decides the addresses: an option wins over its environment variable; when neither service
// is named at all, starts the bundled gallery from the program folder into `gallery` and uses
// it for both; when only one is named, the other takes the same address. Sets
// HTTPC_PROBE_URL to the search address. Call at start-up before any other thread runs.
// `why` receives a readable reason on failure.
ServiceSetupStatus SetUpServices(const std::string& searchOption, const std::string& detectOption,
                                 EmbeddedGallery& gallery, ServiceAddresses& out, std::string& why);

// The settings of this program's runs: the module and the mask from their places beside the
// program folder (platform::ModuleFolder, DataFolder), the given work folder and services.
RunSettings MakeRunSettings(const std::string& workFolder, const ServiceAddresses& services);

}  // namespace norvo
