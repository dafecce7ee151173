#include "app/gui/LocaleText.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "text/UserText.h"
#include "web/TextEncoding.h"

#ifndef _WIN32
#include <iconv.h>

#include <cerrno>
#include <cstring>
#endif

namespace norvo {

namespace {

bool IsUtf8(const char* charset) {
    return std::strcmp(charset, "UTF-8") == 0 || std::strcmp(charset, "utf8") == 0;
}

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

}  // namespace

#ifdef _WIN32

// On Windows the ANSI code page is the set Qt's 8-bit conversion already uses.
std::string ToLocaleBytes(const QString& text, const char*) {
    return text.toLocal8Bit().toStdString();
}

QString FromLocaleBytes(const std::string& bytes, const char*) {
    return QString::fromLocal8Bit(bytes);
}

#else

std::string ToLocaleBytes(const QString& text, const char* charset) {
    const char* to = charset != nullptr ? charset : LocaleCharset();
    const QByteArray utf8 = text.toUtf8();
    if (IsUtf8(to)) {
        return utf8.toStdString();
    }
    iconv_t cd = iconv_open(to, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return utf8.toStdString();
    }
    std::string result;
    char* in = const_cast<char*>(utf8.constData());
    size_t inLeft = static_cast<size_t>(utf8.size());
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t done = iconv(cd, &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<size_t>(out - buffer));
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            // A character the set cannot hold (or broken input): one '?' for it, go on.
            const size_t skip =
                std::min(inLeft, Utf8SequenceLength(static_cast<unsigned char>(*in)));
            result.push_back('?');
            in += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &out, &outLeft);  // a stateful set's closing shift
    result.append(buffer, static_cast<size_t>(out - buffer));
    iconv_close(cd);
    return result;
}

QString FromLocaleBytes(const std::string& bytes, const char* charset) {
    const char* from = charset != nullptr ? charset : LocaleCharset();
    if (IsUtf8(from)) {
        return QString::fromStdString(bytes);
    }
    size_t size = 0;
    std::unique_ptr<char16_t, decltype(&std::free)> wide(ConvertToWide(bytes.c_str(), &size, from),
                                                         &std::free);
    if (!wide) {
        return QString::fromStdString(bytes);
    }
    return QString::fromUtf16(wide.get());
}

#endif

QString ShownText(std::string_view text) {
    return QString::fromStdString(UserText(text));
}

}  // namespace norvo
