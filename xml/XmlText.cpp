#include "xml/XmlText.h"

#include "text/StringList.h"

namespace norvo::xml {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

bool ReadLine(std::string_view bytes, size_t& pos, std::string_view& line) {
    if (pos >= bytes.size()) {
        return false;
    }
    const size_t start = pos;
    while (pos < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[pos++]);
        if (IsLeadByte(b)) {
            if (pos < bytes.size()) {
                ++pos;  // the second byte can end neither the line nor the character
            }
            continue;
        }
        if (b == '\n') {
            break;
        }
    }
    line = bytes.substr(start, pos - start);
    return true;
}

std::string JoinLines(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    size_t pos = 0;
    std::string_view line;
    while (ReadLine(bytes, pos, line)) {
        if (!line.empty() && line.back() == '\n') {
            line.remove_suffix(1);
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        while (!line.empty() && IsBlank(line.front())) {
            line.remove_prefix(1);
        }
        while (!line.empty() && IsBlank(line.back())) {
            line.remove_suffix(1);
        }
        text.append(line);
    }
    return text;
}

std::string StripComments(std::string_view text) {
    // Removing a comment in place and searching on from where it began only ever looks at
    // the untouched rest of the text, so copying the pieces between comments is the same.
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (;;) {
        const size_t open = text.find("<!--", pos);
        if (open == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, open - pos));
        const size_t close = text.find("-->", open + 4);
        if (close == std::string_view::npos) {
            break;
        }
        pos = close + 3;
    }
    return out;
}

size_t FindDelimiter(std::string_view text, char delimiter, size_t start) {
    for (;;) {
        const size_t found = text.find(delimiter, start);
        if (found == std::string_view::npos || found == 0) {
            return found;
        }
        if (!IsLeadByte(static_cast<unsigned char>(text[found - 1]))) {
            return found;
        }
        start = found + 1;
    }
}

void ToLowerAscii(std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(b)) {
            ++i;
        } else if (b >= 'A' && b <= 'Z') {
            text[i] = static_cast<char>(b + 0x20);
        }
    }
}

void StripSingleQuotes(std::string& text) {
    if (text.size() >= 2 && text.front() == '\'') {
        text.erase(0, 1);
        if (!text.empty() && text.back() == '\'') {
            text.pop_back();
        }
    }
}

}  // namespace norvo::xml
