#include "app/UserSettings.h"

// The settings file on Linux: found under the XDG folders, read and written by Qt's INI reader.

#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace norvo {

namespace {

constexpr char kFolder[] = "norvo";
constexpr char kFile[] = "norvo.conf";

std::string AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

}  // namespace

std::string UserSettings::DefaultPath() {
    std::string base = AbsoluteVariable("XDG_CONFIG_HOME");
    if (base.empty()) {
        const std::string home = AbsoluteVariable("HOME");
        if (home.empty()) {
            return "";
        }
        base = home + "/.config";
    }
    return base + "/" + kFolder + "/" + kFile;
}

std::optional<std::string> UserSettings::Value(const std::string& key) const {
    std::error_code ec;
    if (m_strPath.empty() || !std::filesystem::is_regular_file(m_strPath, ec)) {
        return std::nullopt;
    }
    const QSettings file(QString::fromStdString(m_strPath), QSettings::IniFormat);
    const QVariant value = file.value(QString::fromStdString(key));
    if (!value.isValid()) {
        return std::nullopt;
    }
    // Unquoted commas make QSettings read a list; the user wrote one text.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(',').toStdString();
    }
    return value.toString().toStdString();
}

bool UserSettings::SetValue(const std::string& key, const std::string& value) {
    if (m_strPath.empty()) {
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_strPath).parent_path(), ec);
    QSettings file(QString::fromStdString(m_strPath), QSettings::IniFormat);
    file.setValue(QString::fromStdString(key), QString::fromStdString(value));
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace norvo
