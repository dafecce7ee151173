#pragma once

#include <string>

namespace norvo {

// A private per-process folder (owner-only permissions) that modules store files in; removed
// with its contents when the object goes away. Not copyable; movable.
class WorkFolder {
public:
    enum class Status {
        Ok,            // folder exists (or was removed as asked)
        CreateFailed,  // no private folder could be made under the base folder
        RemoveFailed,  // something in the folder could not be removed, or it was no folder
        NotCreated,    // Remove() on an object that holds no folder
    };
    static const char* describe(Status status);

    // Makes the folder under platform::PrivateBaseFolder().
    WorkFolder();
    // Makes the folder under `base` (tests, or a caller with its own place).
    explicit WorkFolder(const std::string& base);
    ~WorkFolder();

    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    WorkFolder(WorkFolder&& other) noexcept;
    WorkFolder& operator=(WorkFolder&& other) noexcept;

    // True while the folder exists (created and not yet removed).
    bool IsValid() const { return !m_strPath.empty(); }
    // Path text ending with '/'; "" when creation failed or after Remove().
    const std::string& Path() const { return m_strPath; }
    // Outcome of the creation.
    Status CreateStatus() const { return m_status; }
    // Removes the folder and its contents now (links are not followed); the object then holds no
    // folder even when removal failed, so the destructor does not try again.
    Status Remove();

private:
    void Create(const std::string& base);

    std::string m_strPath;
    Status m_status = Status::NotCreated;
};

}  // namespace norvo
