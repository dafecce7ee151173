#include "app/EmbeddedGallery.h"

// What every system shares: the statuses and the service's first line. Starting and stopping
// the child is EmbeddedGalleryPosix.cpp or EmbeddedGalleryWin.cpp.

#include <string>

#include "text/UserText.h"

namespace norvo {

bool EmbeddedGallery::LooksLikeServiceAddress(const std::string& line) {
    const std::string prefix = "http://127.0.0.1:";
    if (line.compare(0, prefix.size(), prefix) != 0 || line.size() == prefix.size() ||
        line.size() > prefix.size() + 5) {
        return false;
    }
    for (size_t i = prefix.size(); i < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return false;
        }
    }
    return true;
}

namespace {

// The failures a user is told (see ServiceSetup's kGalleryStartFailedText).
constexpr char kNoProgramText[] =
    NORVO_TEXT("the bundled gallery service (norvo-gallery) is missing");
constexpr char kSpawnFailedText[] = NORVO_TEXT("the bundled gallery service could not be started");
constexpr char kNoAddressText[] =
    NORVO_TEXT("the bundled gallery service did not report its address");

}  // namespace

const char* EmbeddedGallery::describe(Status status) {
    switch (status) {
        case Status::Ok:
            return "the bundled gallery service is running";
        case Status::NotStarted:
            return "the bundled gallery service is not running";
        case Status::NoProgram:
            return kNoProgramText;
        case Status::SpawnFailed:
            return kSpawnFailedText;
        case Status::NoAddress:
            return kNoAddressText;
    }
    return "unknown gallery status";
}

}  // namespace norvo
