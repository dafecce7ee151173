#include "saori/SaoriHost.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace norvo {

namespace {

// Module exports, C linkage.
using LoadFn = int (*)(char* block, long len);
using RequestFn = char* (*)(char* block, long* len);
using UnloadFn = int (*)();
// Optional: ends the request in flight; callable from any thread.
using CancelFn = void (*)();

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kHeaderSeparator = ": ";

// Steps through the pieces of `text` cut at `delimiter` with empty pieces kept, exactly as
// SplitString(text, list, delimiter, 0, true) lists them, without building the list: an answer
// of a few MB made of line breaks would otherwise become millions of strings.
class PieceCursor {
public:
    PieceCursor(std::string_view text, std::string_view delimiter)
        : m_text(text), m_delimiter(delimiter), m_done(text.empty()) {}

    // Next piece into `piece`; false when there is none left.
    bool Next(std::string_view& piece) {
        if (m_done) {
            return false;
        }
        const size_t found = m_text.find(m_delimiter, m_pos);
        if (found == std::string_view::npos) {
            piece = m_text.substr(m_pos);
            m_done = true;
        } else {
            piece = m_text.substr(m_pos, found - m_pos);
            m_pos = found + m_delimiter.size();
        }
        return true;
    }

private:
    std::string_view m_text;
    std::string_view m_delimiter;
    size_t m_pos = 0;
    bool m_done;
};

// atoi without its undefined overflow: leading white space, a sign, digits; saturates.
long StatusNumber(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    long value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        const int digit = field[i] - '0';
        if (value > (LONG_MAX - digit) / 10) {
            value = LONG_MAX;
            break;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace

std::string ComposeSaoriRequest(int count, const char* arg0, const char* arg1, const char* arg2) {
    const char* args[] = {arg0, arg1, arg2};
    std::string text = kSaoriRequestHead;
    for (int i = 0; i < count && i < 3; ++i) {
        text += "Argument";
        text += static_cast<char>('0' + i);
        text += ": ";
        text += args[i] ? args[i] : "";
        text += "\r\n";
    }
    text += "\r\n";
    return text;
}

int ParseSaoriAnswer(const char* data, size_t len, HeaderTable& table) {
    table.clear();
    if (!data) {
        return 3;
    }
    // The text ends at the first zero byte inside the answer.
    const void* zero = std::memchr(data, 0, len);
    const std::string_view text(data, zero ? static_cast<const char*>(zero) - data : len);

    PieceCursor lines(text, kLineBreak);
    std::string_view statusLine;
    if (!lines.Next(statusLine)) {
        return 3;
    }
    // The status line needs three fields cut at single spaces; field 1 is the code.
    const size_t firstSpace = statusLine.find(' ');
    if (firstSpace == std::string_view::npos) {
        return 3;
    }
    const size_t secondSpace = statusLine.find(' ', firstSpace + 1);
    if (secondSpace == std::string_view::npos) {
        return 3;
    }
    const long status =
        StatusNumber(statusLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
    if (status != 200 && status != 204) {
        return 4;
    }
    std::string_view line;
    while (lines.Next(line)) {
        const size_t colon = line.find(kHeaderSeparator);
        if (colon == std::string_view::npos) {
            break;  // an empty line or a line that is no header ends the headers
        }
        std::string_view value = line.substr(colon + kHeaderSeparator.size());
        value = value.substr(0, value.find(kHeaderSeparator));
        table.insert_or_assign(std::string(line.substr(0, colon)), std::string(value));
    }
    return 0;
}

SaoriHost::SaoriHost(std::string modulePath, std::string moduleDirectory)
    : m_strModulePath(std::move(modulePath)), m_strModuleDirectory(std::move(moduleDirectory)) {}

SaoriHost::~SaoriHost() {
    UnloadSaori();
}

int SaoriHost::LoadSaori() {
    // A module that had no "unload" is still ours: keep its reference until the new one is taken,
    // so the same file is not unmapped and mapped again.
    if (m_hSaori) {
        UnloadSaori();
    }
    platform::ModuleHandle previous;
    {
        std::lock_guard lock(m_moduleMutex);
        previous = std::exchange(m_hSaori, nullptr);
    }
    m_strLoadError.clear();

    std::string why;
    platform::ModuleHandle module = platform::LoadModule(m_strModulePath, &why);
    platform::FreeModule(previous);
    if (!module) {
        m_strLoadError = "cannot load the module: " + why;
        return 1;
    }
    auto load = reinterpret_cast<LoadFn>(platform::FindExport(module, "load"));
    if (!load) {
        platform::FreeModule(module);
        m_strLoadError = "the module does not export \"load\"";
        return 1;
    }
    std::string directory;
    if (!platform::ModuleDirectoryText(m_strModuleDirectory, directory)) {
        platform::FreeModule(module);
        m_strLoadError = "the module directory cannot be written in the system's code page";
        return 1;
    }
    const size_t len = directory.size();
    char* block = platform::AllocHandover(len);
    if (!block) {
        platform::FreeModule(module);
        m_strLoadError = "no memory for the module directory text";
        return 1;
    }
    std::memcpy(block, directory.data(), len);
    {
        std::lock_guard lock(m_moduleMutex);
        m_hSaori = module;
    }
    load(block, static_cast<long>(len));  // the block is the module's now; its result is unused
    return 0;
}

int SaoriHost::SaoriRequest(int count, const char* arg0, const char* arg1, const char* arg2,
                            HeaderTable& table) {
    if (!m_hSaori) {
        return 0;
    }
    table.clear();
    if (m_bCancelled) {
        return 1;
    }
    std::string text;
    try {
        text = ComposeSaoriRequest(count, arg0, arg1, arg2);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    auto request = reinterpret_cast<RequestFn>(platform::FindExport(m_hSaori, "request"));
    if (!request) {
        return 1;
    }
    char* block = platform::AllocHandover(text.size());
    if (!block) {
        return 1;  // nothing was handed over
    }
    std::memcpy(block, text.data(), text.size());
    long len = static_cast<long>(text.size());
    char* answer = request(block, &len);
    if (!answer) {
        return 3;
    }
    int result;
    if (len < 0) {
        result = 3;  // a negative length describes no text at all
    } else if (len > kMaxSaoriAnswerBytes) {
        result = 2;
    } else {
        try {
            result = ParseSaoriAnswer(answer, static_cast<size_t>(len), table);
        } catch (const std::bad_alloc&) {
            table.clear();
            result = 2;
        }
    }
    platform::FreeHandover(answer);
    return result;
}

void SaoriHost::UnloadSaori() {
    if (!m_hSaori) {
        return;
    }
    auto unload = reinterpret_cast<UnloadFn>(platform::FindExport(m_hSaori, "unload"));
    if (!unload) {
        return;  // without "unload" the module stays loaded
    }
    // Once the handle is gone under the lock, no CancelRequests can be inside the module.
    platform::ModuleHandle module;
    {
        std::lock_guard lock(m_moduleMutex);
        module = std::exchange(m_hSaori, nullptr);
    }
    unload();
    platform::FreeModule(module);
}

void SaoriHost::CancelRequests() {
    m_bCancelled = true;
    std::lock_guard lock(m_moduleMutex);
    if (!m_hSaori) {
        return;
    }
    if (auto cancel = reinterpret_cast<CancelFn>(platform::FindExport(m_hSaori, "cancel"))) {
        cancel();
    }
}

}  // namespace norvo
