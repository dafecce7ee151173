#pragma once

#include <optional>

#include "services/gallery/http/GalleryServer.h"

namespace norvo {

// What the service is started with.
struct ServiceSettings {
    GalleryOptions gallery;
    bool watchStdin = false;  // stop when standard input closes
};

// The settings, or none with the exit status to end with at once (0 after --help or
// --version, 2 on a usage error, already told on standard error).
struct ReadOptionsResult {
    std::optional<ServiceSettings> settings;
    int exitStatus = 0;
};

// Reads the command line and the NORVO_* variables it falls back to.
ReadOptionsResult ReadOptions(int argc, char** argv);

}  // namespace norvo
