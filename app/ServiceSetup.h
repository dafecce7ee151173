#pragma once

#include <string>

#include "app/CreateRun.h"
#include "app/EmbeddedGallery.h"
#include "text/UserText.h"

namespace norvo {

// Environment variables naming the two services, and the module's connection probe.
inline constexpr char kSearchUrlVariable[] = "NORVO_SEARCH_URL";
inline constexpr char kDetectUrlVariable[] = "NORVO_DETECT_URL";
inline constexpr char kProbeUrlVariable[] = "HTTPC_PROBE_URL";
// The picture sources of the bundled service, and what they are when nothing says otherwise:
// the bundled gallery first, then Wikipedia and Wikimedia Commons for every other name.
inline constexpr char kSourcesVariable[] = "NORVO_SOURCES";
inline constexpr char kDefaultSources[] = "gallery,wikimedia";
inline constexpr char kOfflineSources[] = "gallery";

// The two base addresses a program's runs use.
struct ServiceAddresses {
    std::string search;
    std::string detect;
};

enum class ServiceSetupStatus {
    Ok,             // both addresses known
    BadAddress,     // an address is not an http:// or https:// address
    GalleryFailed,  // neither was set and the bundled service could not be started
    BadSources,     // the bundled service's picture sources are not a usable list
};

const char* describe(ServiceSetupStatus status);

// What `why` says (patterns: see text/UserText.h): %1 the address given ...
inline constexpr char kNotHttpAddressText[] = NORVO_TEXT("not an http:// or https:// address: %1");
// ... or what went wrong with the bundled service (EmbeddedGallery::describe), %2 its program.
inline constexpr char kGalleryStartFailedText[] = NORVO_TEXT("%1 (%2)");
// The picture sources are not a usable list: %1 names the entry and what is wrong with it.
inline constexpr char kBadSourcesText[] = NORVO_TEXT("picture sources: %1");

// "http://host:1/" -> "http://host:1": the stages append paths beginning with '/'.
std::string TrimBaseAddress(std::string address);

// Decides the addresses: an option wins over its environment variable; when neither service
// is named at all, starts the bundled gallery from the program folder into `gallery` and uses
// it for both; when only one is named, the other takes the same address. Sets
// HTTPC_PROBE_URL to the search address. Call at start-up before any other thread runs.
// `why` receives a readable reason on failure. The bundled service's picture sources are
// `sourcesOption`, else NORVO_SOURCES, else sources= of norvo.conf, else kDefaultSources.
ServiceSetupStatus SetUpServices(const std::string& searchOption, const std::string& detectOption,
                                 EmbeddedGallery& gallery, ServiceAddresses& out, std::string& why,
                                 const std::string& sourcesOption = "");

// The settings of this program's runs: the module and the mask from their places beside the
// program folder (platform::ModuleFolder, DataFolder), the given work folder and services.
RunSettings MakeRunSettings(const std::string& workFolder, const ServiceAddresses& services);

}  // namespace norvo
