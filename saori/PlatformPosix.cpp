// POSIX implementation of the platform layer (Linux first).
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "saori/Platform.h"

#ifndef NORVO_MODULE_FOLDER_FROM_BIN
#define NORVO_MODULE_FOLDER_FROM_BIN "../lib/norvo/"
#endif
#ifndef NORVO_DATA_FOLDER_FROM_BIN
#define NORVO_DATA_FOLDER_FROM_BIN "../share/norvo/"
#endif

namespace norvo::platform {

namespace {

std::atomic<HandoverAllocator> g_allocator{nullptr};

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Empties the folder open as `dirFd` (which this call closes). Entries are looked at with
// AT_SYMLINK_NOFOLLOW and sub-folders opened with O_NOFOLLOW, so a link is removed, never entered.
bool EmptyFolder(int dirFd) {
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return false;
    }
    // Collect names first: removing while reading may make readdir skip entries.
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
            names.emplace_back(name);
        }
    }
    bool ok = true;
    const int fd = dirfd(dir);
    for (const std::string& name : names) {
        struct stat st {};
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = ok && errno == ENOENT;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const int sub =
                openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0 || !EmptyFolder(sub)) {
                ok = false;
                continue;
            }
            if (unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0) {
                ok = false;
            }
        } else if (unlinkat(fd, name.c_str(), 0) != 0 && errno != ENOENT) {
            ok = false;
        }
    }
    closedir(dir);
    return ok;
}

}  // namespace

ModuleHandle LoadModule(const std::string& path, std::string* error) {
    // dlopen takes "" for the program itself and searches its library path for a name without
    // '/': either would load something other than the file asked for.
    if (path.empty()) {
        if (error) {
            *error = "no module file given";
        }
        return nullptr;
    }
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();  // clear a stale message
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) {
        const char* why = dlerror();
        *error = why ? why : "cannot load " + path;
    }
    return handle;
}

void* FindExport(ModuleHandle module, const char* name) {
    return module ? dlsym(module, name) : nullptr;
}

void FreeModule(ModuleHandle module) {
    if (module) {
        dlclose(module);
    }
}

char* AllocHandover(size_t len) {
    const HandoverAllocator alloc = g_allocator.load();
    // malloc(0) may return null; a block of length 0 still needs an address.
    const size_t n = len ? len : 1;
    return static_cast<char*>(alloc ? alloc(n) : std::malloc(n));
}

void FreeHandover(void* block) {
    std::free(block);
}

HandoverAllocator SetHandoverAllocatorForTesting(HandoverAllocator alloc) {
    return g_allocator.exchange(alloc);
}

bool ModuleDirectoryText(const std::string& folder, std::string& text) {
    text = folder;
    return true;
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    if (!realpath("/proc/self/exe", buf)) {
        return {};
    }
    std::string path(buf);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

// `relative` (ending with '/') under the program folder, without "dir/.." steps: the program
// folder is a real path, so dropping them lexically names the same folder.
std::string BesideProgram(const char* relative) {
    const std::string folder = ProgramFolder();
    if (folder.empty()) {
        return {};
    }
    return std::filesystem::path(folder + relative).lexically_normal().string();
}

}  // namespace

std::string ModuleFolder() {
    return BesideProgram(NORVO_MODULE_FOLDER_FROM_BIN);
}

std::string DataFolder() {
    return BesideProgram(NORVO_DATA_FOLDER_FROM_BIN);
}

std::string PrivateBaseFolder() {
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(var);
        // Only absolute paths: a relative one would put the folder wherever we happen to be.
        if (value && value[0] == '/' && IsDirectory(value)) {
            std::string base(value);
            while (base.size() > 1 && base.back() == '/') {
                base.pop_back();
            }
            return base;
        }
    }
    return "/tmp";
}

std::string MakePrivateFolder(const std::string& base, const std::string& prefix) {
    std::string templ = base;
    if (templ.empty() || templ.back() != '/') {
        templ += '/';
    }
    templ += prefix + "XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    // mkdtemp creates the folder with mode 0700 whatever the umask allows beyond that.
    if (!mkdtemp(buf.data())) {
        return {};
    }
    return std::string(buf.data());
}

bool RemoveTree(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    const int fd = open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;  // gone, a link, or no folder: nothing of ours to remove
    }
    const bool emptied = EmptyFolder(fd);
    return rmdir(p.c_str()) == 0 && emptied;
}

}  // namespace norvo::platform
