// The system's language as Windows reports it: the primary language identifier picks a
// locale name for setlocale. The table is plain data and is compiled everywhere; the calls
// into Windows only there.
#include <cstddef>
#include <iterator>

#include "web/TextEncoding.h"

#ifdef _WIN32
#include <windows.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "web/TextEncodingPlatform.h"
#endif

namespace norvo {

namespace {

struct LanguageName {
    unsigned int id;
    const char* name;
};

// Primary language identifiers with a locale name of their own; all others are "English".
constexpr LanguageName kLanguageNames[] = {
    {0x00, "Neutral"},    {0x01, "Arabic"},     {0x02, "Bulgarian"},  {0x03, "Catalan"},
    {0x04, "Chinese"},    {0x05, "Czech"},      {0x06, "Danish"},     {0x07, "German"},
    {0x08, "Greek"},      {0x09, "English"},    {0x0A, "Spanish"},    {0x0B, "Finnish"},
    {0x0C, "French"},     {0x0D, "Hebrew"},     {0x0E, "Hungarian"},  {0x0F, "Icelandic"},
    {0x10, "Italian"},    {0x11, "Japanese"},   {0x12, "Korean"},     {0x13, "Dutch"},
    {0x14, "Norwegian"},  {0x15, "Polish"},     {0x16, "Portuguese"}, {0x18, "Romanian"},
    {0x19, "Russian"},    {0x1A, "Croatian"},   {0x1B, "Slovak"},     {0x1C, "Albanian"},
    {0x1D, "Swedish"},    {0x1E, "Thai"},       {0x1F, "Turkish"},    {0x20, "Urdu"},
    {0x21, "Indonesian"}, {0x23, "Belarusian"}, {0x24, "Slovenian"},  {0x25, "Estonian"},
    {0x26, "Latvian"},    {0x27, "Lithuanian"}, {0x29, "Farsi"},      {0x2A, "Vietnamese"},
    {0x2B, "Armenian"},   {0x2C, "Azeri"},      {0x2D, "Basque"},     {0x2F, "Macedonian"},
    {0x36, "Afrikaans"},  {0x37, "Georgian"},   {0x38, "Faeroese"},   {0x39, "Hindi"},
    {0x3E, "Malay"},      {0x3F, "Kazak"},      {0x41, "Swahili"},    {0x43, "Uzbek"},
    {0x44, "Tatar"},      {0x45, "Bengali"},    {0x46, "Punjabi"},    {0x47, "Gujarati"},
    {0x48, "Oriya"},      {0x49, "Tamil"},      {0x4A, "Telugu"},     {0x4B, "Kannada"},
    {0x4C, "Malayalam"},  {0x4D, "Assamese"},   {0x4E, "Marathi"},    {0x4F, "Sanskrit"},
    {0x57, "Konkani"},    {0x58, "Manipuri"},   {0x59, "Sindhi"},     {0x60, "Kashmiri"},
    {0x61, "Nepali"},
};
static_assert(std::size(kLanguageNames) == 69);

}  // namespace

const char* LanguageNameForId(unsigned int primaryLanguageId) {
    for (const auto& entry : kLanguageNames) {
        if (entry.id == primaryLanguageId) {
            return entry.name;
        }
    }
    return "English";
}

#ifdef _WIN32

const char* SelectSystemLocale(int category) {
    const unsigned int primary = GetSystemDefaultLangID() & 0x3FF;
    return std::setlocale(category, LanguageNameForId(primary));
}

namespace detail {

// "CP932" and the like name a code page; no name means the system's ANSI code page, the one
// the dialog delivers names in.
bool DecodeToUtf16(const char* text, size_t length, const char* charset, char16_t* out,
                   size_t capacity) {
    UINT codePage = CP_ACP;
    if (charset != nullptr) {
        const std::string name(charset);
        if (name.size() > 2 && (name[0] == 'C' || name[0] == 'c') &&
            (name[1] == 'P' || name[1] == 'p')) {
            codePage = static_cast<UINT>(std::strtoul(name.c_str() + 2, nullptr, 10));
        } else if (name == "UTF-8" || name == "utf-8") {
            codePage = CP_UTF8;
        } else {
            return false;
        }
    }
    if (!IsValidCodePage(codePage) && codePage != CP_ACP && codePage != CP_UTF8) {
        return false;
    }
    // Invalid bytes become U+FFFD without MB_ERR_INVALID_CHARS.
    MultiByteToWideChar(codePage, 0, text, static_cast<int>(length),
                        reinterpret_cast<wchar_t*>(out), static_cast<int>(capacity));
    return true;
}

}  // namespace detail

#endif  // _WIN32

}  // namespace norvo
