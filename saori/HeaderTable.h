#pragma once

#include <map>
#include <string>

namespace norvo {

// Headers of one SAORI answer: unique names compared byte by byte. Reading with operator[]
// is find-or-insert: a header the answer did not carry reads as "" and is added.
using HeaderTable = std::map<std::string, std::string>;

}  // namespace norvo
