#pragma once

#include <string>

#include "app/RunView.h"
#include "saori/SaoriHost.h"

namespace norvo {

// What the web lookups of one run share: the loaded module, the windows, the two services'
// base addresses and the private folder the module stores its files in.
struct LookupContext {
    SaoriHost& saori;
    RunView& view;
    std::string searchBase;  // scheme and host (and port), without a trailing '/'
    std::string detectBase;  // scheme and host (and port), without a trailing '/'
    std::string workFolder;  // the folder handed to the module's load; ends with '/'
};

}  // namespace norvo
