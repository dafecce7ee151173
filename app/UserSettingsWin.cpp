#include "app/UserSettings.h"

// The settings file on Windows: %APPDATA%\norvo\norvo.conf in the format Qt's INI reader reads
// and writes on Linux (keys of [General] or before any section, UTF-8, "quoted" values,
// backslash escapes, unquoted commas joining a list), so one file means the same on both
// systems. Paths meet the system as UTF-16.

#include <windows.h>
// After windows.h, which they need.
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/WideText.h"

namespace norvo {

namespace {

constexpr char kFolder[] = "norvo";
constexpr char kFile[] = "norvo.conf";
// The section Qt files keys under that stand before any section.
constexpr std::string_view kGeneralSection = "general";
// A settings file is a few lines; anything larger is not ours to read.
constexpr std::uintmax_t kMaxFileBytes = 1 << 20;

std::filesystem::path WidePath(const std::string& path) {
    return std::filesystem::path(win::ToWide(path));
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (IsSpace(text.front()) || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (IsSpace(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// One line of the file as the reader sees it: a line ending in '\' goes on in the next one.
struct IniLine {
    std::string raw;     // as written, continuations included
    std::string joined;  // the continuations taken out
};

std::vector<IniLine> SplitLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::vector<IniLine> lines;
    bool continued = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(start, next - start);
        start = next;
        if (!continued) {
            lines.emplace_back();
        }
        lines.back().raw.append(line);
        std::string_view content = line;
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) {
            content.remove_suffix(1);
        }
        continued = !content.empty() && content.back() == '\\';
        if (continued) {
            content.remove_suffix(1);
        }
        lines.back().joined.append(content);
    }
    return lines;
}

// The section a line opens ("general" for Qt's [General] in any case), or nullopt.
std::optional<std::string> SectionOf(const IniLine& line) {
    const std::string_view text = Trim(line.joined);
    if (text.empty() || text.front() != '[') {
        return std::nullopt;
    }
    const size_t close = text.find(']');
    const std::string_view name =
        text.substr(1, close == std::string_view::npos ? text.npos : close - 1);
    return EqualsIgnoringCase(name, kGeneralSection) ? std::string(kGeneralSection)
                                                     : std::string(name);
}

// The key a line sets, or "" for a comment, an empty line or a section.
std::string_view KeyOf(const IniLine& line) {
    const std::string_view text = Trim(line.joined);
    if (text.empty() || text.front() == ';' || text.front() == '#' || text.front() == '[') {
        return {};
    }
    const size_t equals = text.find('=');
    return equals == std::string_view::npos ? std::string_view() : Trim(text.substr(0, equals));
}

void AppendUtf8(std::string& out, unsigned value) {
    std::wstring wide;
    if (value >= 0x10000 && value <= 0x10FFFF) {
        value -= 0x10000;
        wide = {static_cast<wchar_t>(0xD800 + (value >> 10)),
                static_cast<wchar_t>(0xDC00 + (value & 0x3FF))};
    } else if (value <= 0xFFFF && (value < 0xD800 || value > 0xDFFF)) {
        wide = {static_cast<wchar_t>(value)};
    } else {
        wide = {static_cast<wchar_t>(0xFFFD)};
    }
    out += win::FromWide(wide);
}

// The escape after the backslash at text[i]; returns the index of its last character. An
// escape Qt does not know stands for nothing, as in Qt.
size_t ReadEscape(std::string_view text, size_t i, std::string& out) {
    if (i + 1 >= text.size()) {
        return i;
    }
    const char c = text[++i];
    // Each escape letter followed by what it stands for.
    static constexpr std::string_view kEscapes = "a\ab\bf\fn\nr\rt\tv\v\\\\\"\"''??";
    for (size_t e = 0; e + 1 < kEscapes.size(); e += 2) {
        if (kEscapes[e] == c) {
            out += kEscapes[e + 1];
            return i;
        }
    }
    const bool hex = c == 'x';
    const auto isDigit = [hex](char d) {
        return hex ? (d >= '0' && d <= '9') || (d >= 'a' && d <= 'f') || (d >= 'A' && d <= 'F')
                   : d >= '0' && d <= '7';
    };
    size_t end = hex ? i + 1 : i;
    unsigned value = 0;
    while (end < text.size() && end - i < 8 && isDigit(text[end])) {
        const char d = text[end++];
        const unsigned digit = d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10;
        value = value * (hex ? 16 : 8) + digit;
    }
    if (end == (hex ? i + 1 : i)) {
        return i;
    }
    AppendUtf8(out, value);
    return end - 1;
}

// A value as Qt reads it, a list joined with commas as the user wrote it.
std::string ReadValue(std::string_view text) {
    struct Item {
        std::string text;
        size_t solid = 0;  // what stays when unquoted trailing blanks are cut
        bool quotedAny = false;
    };
    std::vector<Item> items(1);
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        Item& item = items.back();
        if (c == '"') {
            quoted = !quoted;
            item.quotedAny = true;
            continue;
        }
        if (!quoted && c == ';') {
            break;  // a comment follows
        }
        if (!quoted && c == ',') {
            items.emplace_back();
            continue;
        }
        if (c == '\\') {
            i = ReadEscape(text, i, item.text);
            item.solid = item.text.size();
            continue;
        }
        if (!quoted && (IsSpace(c) || c == '\r')) {
            if (!item.text.empty()) {
                item.text += c;
            }
            continue;
        }
        item.text += c;
        item.solid = item.text.size();
    }
    std::string value;
    for (size_t i = 0; i < items.size(); ++i) {
        items[i].text.resize(items[i].solid);
        value += (i > 0 ? "," : "") + items[i].text;
    }
    if (items.size() == 1) {
        // Qt's marks for typed values: "@@" is a plain '@'; a string or bytes say what they hold.
        if (value.rfind("@@", 0) == 0) {
            value.erase(0, 1);
        } else {
            for (std::string_view type : {"@String(", "@ByteArray("}) {
                if (value.rfind(type, 0) == 0 && value.back() == ')') {
                    value = value.substr(type.size(), value.size() - type.size() - 1);
                    break;
                }
            }
        }
    }
    return value;
}

// `value` as Qt writes it: quoted when a comma, semicolon or outer blank would change its
// meaning, backslash escapes for what a line cannot hold.
std::string WriteValue(std::string_view value) {
    std::string text = !value.empty() && value.front() == '@' ? "@" : "";
    bool quote = !value.empty() && (IsSpace(value.front()) || IsSpace(value.back()));
    for (const char c : value) {
        switch (c) {
            case '\\':
                text += "\\\\";
                break;
            case '"':
                text += "\\\"";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\r':
                text += "\\r";
                break;
            case ',':
            case ';':
                quote = true;
                text += c;
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    text += "\\x";
                    text += kHex[(c >> 4) & 0xF];
                    text += kHex[c & 0xF];
                } else {
                    text += c;
                }
        }
    }
    return quote ? "\"" + text + "\"" : text;
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path file = WidePath(path);
    if (path.empty() || !std::filesystem::is_regular_file(file, ec) ||
        std::filesystem::file_size(file, ec) > kMaxFileBytes || ec) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether the line at `i` lies where Qt reads the program's keys: before any section or in
// [General].
std::vector<bool> GeneralLines(const std::vector<IniLine>& lines) {
    std::vector<bool> general(lines.size());
    bool inGeneral = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const std::optional<std::string> section = SectionOf(lines[i])) {
            inGeneral = *section == kGeneralSection;
        }
        general[i] = inGeneral;
    }
    return general;
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path != nullptr) {
        folder = win::FromWide(path);
    }
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

std::string UserSettings::DefaultPath() {
    // %APPDATA% names the roaming folder, and lets a user (or a test) put the settings
    // elsewhere as XDG_CONFIG_HOME does on Linux; a relative one is ignored.
    std::string base;
    if (const wchar_t* appData = _wgetenv(L"APPDATA");
        appData != nullptr && !PathIsRelativeW(appData)) {
        base = win::FromWide(appData);
    } else {
        base = KnownFolder(FOLDERID_RoamingAppData);
    }
    if (base.empty()) {
        return "";
    }
    if (base.back() == '\\') {
        base.pop_back();
    }
    return base + "\\" + kFolder + "\\" + kFile;
}

std::optional<std::string> UserSettings::Value(const std::string& key) const {
    const std::optional<std::string> text = ReadFile(m_strPath);
    if (!text) {
        return std::nullopt;
    }
    const std::vector<IniLine> lines = SplitLines(*text);
    const std::vector<bool> general = GeneralLines(lines);
    std::optional<std::string> value;
    // The last one wins, as in Qt.
    for (size_t i = 0; i < lines.size(); ++i) {
        if (general[i] && KeyOf(lines[i]) == key) {
            const std::string& joined = lines[i].joined;
            value = ReadValue(std::string_view(joined).substr(joined.find('=') + 1));
        }
    }
    return value;
}

bool UserSettings::SetValue(const std::string& key, const std::string& value) {
    if (m_strPath.empty() || key.empty()) {
        return false;
    }
    const std::filesystem::path file = WidePath(m_strPath);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::vector<IniLine> lines = SplitLines(ReadFile(m_strPath).value_or(""));
    const std::vector<bool> general = GeneralLines(lines);
    const IniLine line{key + "=" + WriteValue(value) + "\n", ""};

    // The last line that sets the key is the one that counts: it takes the new value. Else the
    // key goes at the end of [General] or of the lines before any section, else into a new
    // [General] at the top, where Qt puts it.
    std::optional<size_t> replace;
    std::optional<size_t> afterGeneral;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (general[i] && KeyOf(lines[i]) == key) {
            replace = i;
        }
        if (general[i] && !Trim(lines[i].joined).empty()) {
            afterGeneral = i + 1;
        }
    }
    if (replace) {
        lines[*replace] = line;
    } else if (afterGeneral) {
        IniLine& before = lines[*afterGeneral - 1];
        if (!before.raw.empty() && before.raw.back() != '\n') {
            before.raw += '\n';
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*afterGeneral), line);
    } else {
        lines.insert(lines.begin(), {IniLine{"[General]\n", ""}, line, IniLine{"\n", ""}});
    }

    // Written beside the file and moved over it, so a reader never sees half a file.
    std::filesystem::path temporary = file;
    temporary += L".new" + std::to_wstring(GetCurrentProcessId());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const IniLine& each : lines) {
            out << each.raw;
        }
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, ec);
            return false;
        }
    }
    if (!MoveFileExW(temporary.c_str(), file.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace norvo
