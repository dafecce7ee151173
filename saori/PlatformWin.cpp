// Windows implementation of the platform layer. Paths are UTF-8 inside the program and UTF-16
// at every call into Windows; only the directory text handed to a module is in the ANSI code
// page, as SAORI modules expect it.
#include <windows.h>
// After windows.h, which they need.
#include <bcrypt.h>
#include <sddl.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/WideText.h"
#include "saori/Platform.h"

namespace norvo::platform {

namespace {

std::atomic<HandoverAllocator> g_allocator{nullptr};

std::string LastErrorText(DWORD code) {
    wchar_t* message = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::string text;
    if (n > 0 && message) {
        text = win::FromWide(std::wstring_view(message, n));
        while (!text.empty() &&
               (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
            text.pop_back();
        }
    }
    LocalFree(message);
    return text.empty() ? "error " + std::to_string(code) : text;
}

// The absolute form of `path` (relative ones against the current folder); "" on failure.
std::wstring FullPath(const std::wstring& path) {
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) {
        return {};
    }
    std::wstring full(n, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (written == 0 || written >= n) {
        return {};
    }
    full.resize(written);
    return full;
}

std::wstring ShortPath(const std::wstring& path) {
    const DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) {
        return {};
    }
    std::wstring shortPath(n, L'\0');
    const DWORD written = GetShortPathNameW(path.c_str(), shortPath.data(), n);
    if (written == 0 || written >= n) {
        return {};
    }
    shortPath.resize(written);
    return shortPath;
}

bool CanWriteInAnsi(const std::wstring& path) {
    bool exact = false;
    win::FromWide(path, CP_ACP, &exact);
    return exact;
}

bool IsRealDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes what the folder holds; reparse points (links, junctions) are removed themselves,
// never entered.
bool EmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    // Collect names first: removing while listing may make the listing skip entries.
    std::vector<std::pair<std::wstring, DWORD>> entries;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            entries.emplace_back(name, entry.dwFileAttributes);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);

    bool ok = true;
    for (const auto& [name, attributes] : entries) {
        const std::wstring path = folder + L"\\" + name;
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A directory link or junction: RemoveDirectoryW removes the link only.
            if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !EmptyFolder(path)) {
                ok = false;
                continue;
            }
            ok = (RemoveDirectoryW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) && ok;
        } else {
            ok = (DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) && ok;
        }
    }
    return ok;
}

// An access list that grants the current user everything and nobody else anything, inherited
// by what is made inside; false when the user's identity cannot be read.
bool OwnerOnlyDescriptor(PSECURITY_DESCRIPTOR& descriptor) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size ? size : 1);
    const bool haveUser = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    if (!haveUser) {
        return false;
    }
    wchar_t* sid = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        return false;
    }
    // P: protected, nothing inherited from the temp folder; OICI: files and folders inside too.
    const std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;") + sid + L")";
    LocalFree(sid);
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr);
}

}  // namespace

ModuleHandle LoadModule(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) -> ModuleHandle {
        if (error) {
            *error = why;
        }
        return nullptr;
    };
    if (path.empty()) {
        return fail("no module file given");
    }
    // The search flags need an absolute path; a bare name stands for the current folder's file,
    // as on the other systems, and is never searched for along the PATH.
    const std::wstring full = FullPath(win::ToWide(path));
    if (full.empty()) {
        return fail("cannot load " + path + ": " + LastErrorText(GetLastError()));
    }
    // No message box for a missing dependency or a damaged file: the caller reports it.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExW(
        full.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    const DWORD code = GetLastError();
    SetErrorMode(previousMode);
    if (!module) {
        return fail("cannot load " + path + ": " + LastErrorText(code));
    }
    return module;
}

void* FindExport(ModuleHandle module, const char* name) {
    return module ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name))
                  : nullptr;
}

void FreeModule(ModuleHandle module) {
    if (module) {
        FreeLibrary(static_cast<HMODULE>(module));
    }
}

char* AllocHandover(size_t len) {
    const HandoverAllocator alloc = g_allocator.load();
    // A block of length 0 still needs an address.
    const size_t n = len ? len : 1;
    // GMEM_FIXED: the handle is the block's address, which the module reads directly.
    return static_cast<char*>(alloc ? alloc(n) : GlobalAlloc(GMEM_FIXED, n));
}

void FreeHandover(void* block) {
    if (block) {
        GlobalFree(block);
    }
}

HandoverAllocator SetHandoverAllocatorForTesting(HandoverAllocator alloc) {
    return g_allocator.exchange(alloc);
}

bool ModuleDirectoryText(const std::string& folder, std::string& text) {
    std::wstring wide = win::ToWide(folder);
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (!wide.empty() && wide.back() != L'\\') {
        wide += L'\\';
    }
    if (!CanWriteInAnsi(wide)) {
        // A user folder named in Japanese on a Western system: its 8.3 form is plain ASCII.
        wide = ShortPath(wide);
        if (wide.empty() || !CanWriteInAnsi(wide)) {
            return false;
        }
        if (wide.back() != L'\\') {
            wide += L'\\';
        }
    }
    text = win::FromWide(wide, CP_ACP);
    return true;
}

std::string ProgramFolder() {
    return win::FromWide(win::ProgramFolder());
}

std::string ModuleFolder() {
    return ProgramFolder();
}

std::string DataFolder() {
    const std::string folder = ProgramFolder();
    return folder.empty() ? std::string() : folder + "data\\";
}

std::string PrivateBaseFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring base = (n > 0 && n <= MAX_PATH) ? std::wstring(buffer, n) : std::wstring();
    if (base.empty() || !IsRealDirectory(base)) {
        base = FullPath(L".");  // no usable temp folder; MakePrivateFolder still makes it private
    }
    if (!CanWriteInAnsi(base)) {
        // Modules get the work folder in the ANSI code page: prefer a form they can read.
        if (const std::wstring shortBase = ShortPath(base);
            !shortBase.empty() && CanWriteInAnsi(shortBase)) {
            base = shortBase;
        }
    }
    while (base.size() > 3 && (base.back() == L'\\' || base.back() == L'/')) {
        base.pop_back();
    }
    return win::FromWide(base);
}

std::string MakePrivateFolder(const std::string& base, const std::string& prefix) {
    std::wstring folder = win::ToWide(base);
    if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) {
        folder += L'\\';
    }
    folder += win::ToWide(prefix);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!OwnerOnlyDescriptor(descriptor)) {
        return {};
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    static constexpr wchar_t kLetters[] =
        L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring made;
    for (int attempt = 0; attempt < 100 && made.empty(); ++attempt) {
        unsigned char random[6];
        if (!BCRYPT_SUCCESS(
                BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            break;
        }
        std::wstring candidate = folder;
        for (unsigned char r : random) {
            candidate += kLetters[r % 62];
        }
        if (CreateDirectoryW(candidate.c_str(), &attributes)) {
            made = candidate;
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    LocalFree(descriptor);
    return made.empty() ? std::string() : win::FromWide(made);
}

bool RemoveTree(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::wstring folder = win::ToWide(path);
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    if (!IsRealDirectory(folder)) {
        return false;  // gone, a link, or no folder: nothing of ours to remove
    }
    const bool emptied = EmptyFolder(folder);
    return RemoveDirectoryW(folder.c_str()) && emptied;
}

}  // namespace norvo::platform
