#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace norvo {

// The names typed into the edits travel through the run as bytes in the locale's character set
// (the set the name encoder decodes from). Qt's own 8-bit conversion assumes UTF-8 on Unix, so
// the windows convert with these instead. `charset` null means the locale's set. Characters the
// set cannot hold become '?'.
std::string ToLocaleBytes(const QString& text, const char* charset = nullptr);
QString FromLocaleBytes(const std::string& bytes, const char* charset = nullptr);

// One of the program's texts (UTF-8) as the windows show it: in the user's language.
QString ShownText(std::string_view text);

}  // namespace norvo
