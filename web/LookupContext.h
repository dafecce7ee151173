#pragma once

#include <string>

#include "saori/SaoriHost.h"
#include "web/LookupReport.h"

namespace norvo {

// What the web lookups of one run share: the loaded module, where they report, the two
// services' base addresses and the private folder the module stores its files in.
struct LookupContext {
    SaoriHost& saori;
    LookupReport& report;
    std::string searchBase;  // scheme and host (and port), without a trailing '/'
    std::string detectBase;  // scheme and host (and port), without a trailing '/'
    std::string workFolder;  // the folder handed to the module's load; ends with '/'
};

}  // namespace norvo
