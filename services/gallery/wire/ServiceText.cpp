#include "services/gallery/wire/ServiceText.h"

#include <cctype>
#include <cstdio>

namespace norvo {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Start of the query part, or npos.
std::size_t QueryStart(std::string_view target) {
    const std::size_t q = target.find('?');
    return q == std::string_view::npos ? q : q + 1;
}

// Position of the value of parameter `name` (just after "name="), or npos.
std::size_t ParamValueStart(std::string_view target, std::string_view name) {
    std::size_t pos = QueryStart(target);
    while (pos != std::string_view::npos && pos <= target.size()) {
        const std::string_view rest = target.substr(pos);
        if (rest.size() > name.size() && rest.substr(0, name.size()) == name &&
            rest[name.size()] == '=') {
            return pos + name.size() + 1;
        }
        const std::size_t amp = target.find('&', pos);
        if (amp == std::string_view::npos)
            break;
        pos = amp + 1;
    }
    return std::string_view::npos;
}

}  // namespace

std::string ServiceText::EncodePathSegment(std::string_view segment) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(segment.size() * 3);
    for (const char ch : segment) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::optional<std::string> ServiceText::PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (text.size() - i < 3)
                return std::nullopt;
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> ServiceText::QueryValue(std::string_view target, std::string_view name) {
    const std::size_t start = ParamValueStart(target, name);
    if (start == std::string_view::npos)
        return std::nullopt;
    const std::size_t end = target.find('&', start);
    return std::string(target.substr(start, end == std::string_view::npos ? end : end - start));
}

std::optional<std::string> ServiceText::TrailingUrl(std::string_view target) {
    const std::size_t start = ParamValueStart(target, "url");
    if (start == std::string_view::npos)
        return std::nullopt;
    return std::string(target.substr(start));
}

std::optional<std::string> ServiceText::DecodedWholeUrl(std::string_view value) {
    for (const std::string_view scheme : {"http%3a%2f%2f", "https%3a%2f%2f"}) {
        if (value.size() < scheme.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < scheme.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(value[i])) == scheme[i];
        if (same)
            return PercentDecode(value, false);
    }
    return std::nullopt;
}

std::string ServiceText::JsonEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04X", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    return out;
}

std::string ServiceText::SearchJson(const std::vector<SearchResult>& results) {
    std::string out = R"({"responseData":{"results":[)";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const SearchResult& r = results[i];
        if (i > 0)
            out += ',';
        out += R"({"url":")" + JsonEscape(r.url) + R"(","width":")" + std::to_string(r.width) +
               R"(","height":")" + std::to_string(r.height) + R"(","title":")" +
               JsonEscape(r.title) + R"("})";
    }
    out += R"(]},"responseDetails":null,"responseStatus":200})";
    return out;
}

std::string ServiceText::FacesXml(const std::vector<FaceRect>& faces) {
    std::string out = "<?xml version='1.0'?><faces>";
    for (const FaceRect& f : faces) {
        out += "<face><bounds x='" + std::to_string(f.x) + "' y='" + std::to_string(f.y) +
               "' width='" + std::to_string(f.width) + "' height='" + std::to_string(f.height) +
               "'/></face>";
    }
    out += "</faces>";
    return out;
}

}  // namespace norvo
