#pragma once

#include <optional>
#include <string>

namespace norvo {

// Keys of the settings file.
inline constexpr char kSourcesKey[] = "sources";  // picture sources of the bundled service
inline constexpr char kBlendKey[] = "blend";      // how the face is blended in
inline constexpr char kLabelKey[] = "label";      // "no": portraits are saved without metadata

// The settings a user keeps in norvo.conf (INI; keys outside any section). A missing or
// unreadable file reads as empty; nothing here throws.
class UserSettings {
public:
    // $XDG_CONFIG_HOME/norvo/norvo.conf, else ~/.config/norvo/norvo.conf; "" when neither
    // folder is known (an XDG variable that is not an absolute path is ignored). Windows:
    // %APPDATA%\norvo\norvo.conf, else the same under the roaming application data folder.
    static std::string DefaultPath();

    explicit UserSettings(std::string path = DefaultPath());

    const std::string& Path() const { return m_strPath; }

    // The value stored under `key`; nullopt when the file or the key is missing. A value the
    // INI syntax reads as a list ("a,b") comes back joined with commas, as it was written.
    std::optional<std::string> Value(const std::string& key) const;

    // Stores `key` = `value` (folder created when missing; the file is replaced atomically,
    // other keys kept). False when there is no path or the file could not be written.
    bool SetValue(const std::string& key, const std::string& value);

private:
    std::string m_strPath;
};

// One setting decided the usual way: a non-empty command-line option, else the non-empty
// environment variable `variable`, else the file's `key`, else `fallback`.
std::string ResolveSetting(const std::string& option, const char* variable,
                           const UserSettings& file, const char* key, const std::string& fallback);

}  // namespace norvo
