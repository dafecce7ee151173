#include "app/UserSettings.h"

#include <cstdlib>

// What every system shares; reading and writing the file is UserSettingsQt.cpp (Qt's INI
// reader) or UserSettingsWin.cpp (a reader of the same format without Qt).

namespace norvo {

UserSettings::UserSettings(std::string path) : m_strPath(std::move(path)) {}

std::string ResolveSetting(const std::string& option, const char* variable,
                           const UserSettings& file, const char* key, const std::string& fallback) {
    if (!option.empty()) {
        return option;
    }
    if (const char* value = variable != nullptr ? std::getenv(variable) : nullptr;
        value != nullptr && value[0] != '\0') {
        return value;
    }
    if (std::optional<std::string> stored = file.Value(key); stored && !stored->empty()) {
        return *stored;
    }
    return fallback;
}

}  // namespace norvo
