#include "saori/WorkFolder.h"

#include <utility>

#include "saori/Platform.h"
#include "text/UserText.h"

namespace norvo {

namespace {
constexpr char kFolderPrefix[] = "norvo-";

// The failures a user may be told.
constexpr char kCreateFailedText[] = NORVO_TEXT("the private work folder could not be created");
constexpr char kRemoveFailedText[] = NORVO_TEXT("the work folder could not be removed completely");
constexpr char kNotCreatedText[] = NORVO_TEXT("there is no work folder");
}  // namespace

const char* WorkFolder::describe(Status status) {
    switch (status) {
        case Status::Ok:
            return "ok";
        case Status::CreateFailed:
            return kCreateFailedText;
        case Status::RemoveFailed:
            return kRemoveFailedText;
        case Status::NotCreated:
            return kNotCreatedText;
    }
    return "unknown work folder status";
}

WorkFolder::WorkFolder() {
    Create(platform::PrivateBaseFolder());
}

WorkFolder::WorkFolder(const std::string& base) {
    Create(base);
}

WorkFolder::~WorkFolder() {
    Remove();
}

WorkFolder::WorkFolder(WorkFolder&& other) noexcept
    : m_strPath(std::exchange(other.m_strPath, {})),
      m_status(std::exchange(other.m_status, Status::NotCreated)) {}

WorkFolder& WorkFolder::operator=(WorkFolder&& other) noexcept {
    if (this != &other) {
        Remove();
        m_strPath = std::exchange(other.m_strPath, {});
        m_status = std::exchange(other.m_status, Status::NotCreated);
    }
    return *this;
}

void WorkFolder::Create(const std::string& base) {
    const std::string made = platform::MakePrivateFolder(base, kFolderPrefix);
    if (made.empty()) {
        m_status = Status::CreateFailed;
        return;
    }
    m_strPath = made + "/";
    m_status = Status::Ok;
}

WorkFolder::Status WorkFolder::Remove() {
    if (m_strPath.empty()) {
        return Status::NotCreated;
    }
    const bool removed = platform::RemoveTree(m_strPath);
    m_strPath.clear();
    return removed ? Status::Ok : Status::RemoveFailed;
}

}  // namespace norvo
