// The store's system calls on Linux and other POSIX systems: Qt for the hash and the name key,
// POSIX for the files.
#include "services/gallery/store/StorePlatform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QString>

#include <cerrno>
#include <cstdlib>

namespace norvo::store_platform {

namespace fs = std::filesystem;

namespace {

std::string AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

bool WriteWhole(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string RawSha256(std::string_view bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toStdString();
}

std::string NameKey(std::string_view name) {
    const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded().simplified().toStdString();
}

fs::path DefaultCacheFolder() {
    std::string base = AbsoluteVariable("XDG_CACHE_HOME");
    if (base.empty()) {
        const std::string home = AbsoluteVariable("HOME");
        if (home.empty())
            return {};
        base = home + "/.cache";
    }
    return fs::path(base) / "norvo";
}

bool MakeCacheFolder(const fs::path& folder) {
    std::error_code ec;
    // Pictures and answers name the people a user looked up: a folder made here is the
    // user's alone (a folder the user named is left as it is).
    if (fs::create_directories(folder, ec))
        ::chmod(folder.c_str(), 0700);
    return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool ReadWholeFile(const fs::path& file, std::string& out) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        out.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (ok && done < out.size()) {
            const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok)
                done += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return ok;
}

bool WriteFileReplacing(const fs::path& file, std::string_view tempPrefix,
                        std::initializer_list<std::string_view> parts,
                        std::uint64_t& replacedBytes) {
    std::string temp = (file.parent_path() / (std::string(tempPrefix) + "XXXXXX")).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool written = true;
    for (const std::string_view part : parts) written = written && WriteWhole(fd, part);
    struct stat old {};
    replacedBytes = ::stat(file.c_str(), &old) == 0 ? old.st_size : 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

fs::file_time_type LastWriteTime(const fs::path& file, std::error_code& ec) {
    return fs::last_write_time(file, ec);
}

void MarkUsed(const fs::path& file) {
    const timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

}  // namespace norvo::store_platform
