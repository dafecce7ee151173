#include "modules/httpc/FileName.h"

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

}  // namespace norvo
