// The answer reader over arbitrary bytes, checked against a plain reading built on SplitString.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "saori/SaoriHost.h"
#include "text/StringList.h"

namespace {

// The answer grammar read the long way: lines, fields and parts as SplitString lists them.
int Reference(std::string text, norvo::HeaderTable& table) {
    text = text.substr(0, text.find('\0'));
    norvo::StringList lines;
    norvo::SplitString(text, lines, "\r\n", 0, true);
    if (lines.empty()) {
        return 3;
    }
    norvo::StringList fields;
    norvo::SplitString(lines[0], fields, " ", 0, true);
    if (fields.size() < 3) {
        return 3;
    }
    // strtol saturates where atoi would overflow, as the reader does.
    const long status = std::strtol(fields[1].c_str(), nullptr, 10);
    if (status != 200 && status != 204) {
        return 4;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        norvo::StringList parts;
        norvo::SplitString(lines[i], parts, ": ", 0, true);
        if (parts.size() < 2) {
            break;
        }
        table[parts[0]] = parts[1];
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    norvo::HeaderTable table{{"stale", "x"}};
    const int result = norvo::ParseSaoriAnswer(text, size, table);
    if (result != 0 && result != 3 && result != 4) {
        __builtin_trap();
    }
    if (result != 0 && !table.empty()) {
        __builtin_trap();
    }
    norvo::HeaderTable expected;
    if (Reference(std::string(text, size), expected) != result || expected != table) {
        __builtin_trap();
    }
    return 0;
}
