#include "modules/httpc/FileName.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace norvo {

std::string_view describe(FileNameStatus status) {
    switch (status) {
        case FileNameStatus::Ok:
            return "file name accepted";
        case FileNameStatus::Empty:
            return "empty file name";
        case FileNameStatus::DotName:
            return "file name is a folder name";
        case FileNameStatus::TooLong:
            return "file name too long";
        case FileNameStatus::Separator:
            return "file name holds a path separator";
        case FileNameStatus::ControlByte:
            return "file name holds a control byte";
        case FileNameStatus::NotOnWindows:
            return "file name not allowed on Windows";
    }
    return "unknown file name status";
}

FileNameStatus CheckFileName(std::string_view name) {
    if (name.empty()) {
        return FileNameStatus::Empty;
    }
    if (name == "." || name == "..") {
        return FileNameStatus::DotName;
    }
    if (name.size() > kMaxFileNameBytes) {
        return FileNameStatus::TooLong;
    }
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\') {
            return FileNameStatus::Separator;
        }
        if (b < 0x20 || b == 0x7F) {
            return FileNameStatus::ControlByte;
        }
    }
    return FileNameStatus::Ok;
}

FileNameStatus CheckWindowsFileName(std::string_view name) {
    if (name.find_first_of("<>:\"|?*") != std::string_view::npos || name.back() == '.' ||
        name.back() == ' ') {
        return FileNameStatus::NotOnWindows;
    }
    // Devices answer to their name followed by any extension, and to trailing spaces before it.
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static constexpr std::string_view kDevices[] = {"CON",    "PRN",     "AUX",   "NUL",
                                                    "CONIN$", "CONOUT$", "CLOCK$"};
    if (std::find(std::begin(kDevices), std::end(kDevices), stem) != std::end(kDevices)) {
        return FileNameStatus::NotOnWindows;
    }
    if (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
        stem[3] >= '0' && stem[3] <= '9') {
        return FileNameStatus::NotOnWindows;
    }
    // COM and LPT with a superscript digit (¹ ² ³ in UTF-8) are devices too.
    if (stem.size() == 5 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
        static_cast<unsigned char>(stem[3]) == 0xC2 &&
        (stem[4] == '\xB9' || stem[4] == '\xB2' || stem[4] == '\xB3')) {
        return FileNameStatus::NotOnWindows;
    }
    return FileNameStatus::Ok;
}

}  // namespace norvo
