// The store's system calls on Windows: CNG for the hash, the NLS functions for the name key,
// the known folders for the cache's place and the wide-character file API for its entries.
#include <windows.h>

#include <bcrypt.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <random>

#include "base/WideText.h"
#include "services/gallery/store/StorePlatform.h"

namespace norvo::store_platform {

namespace fs = std::filesystem;

namespace {

// A handle closed however the scope is left.
struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    bool Close() {
        const bool closed = CloseHandle(h) != 0;
        h = INVALID_HANDLE_VALUE;
        return closed;
    }
};

// Readers let writers replace or remove the entry under them, as on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Tries for a free temporary name before giving up; a clash is already unlikely at the first.
constexpr int kTempNameTries = 16;

// The Unicode white space Qt's simplified() collapses, as far as NFKC leaves any.
bool IsSpace(wchar_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Where simple case folding goes past lower case, for what NFKC leaves: final sigma, the
// iota subscript, and Cherokee, which folds to its capitals.
wchar_t FoldBeyondLowerCase(wchar_t c) {
    if (c == 0x03C2)
        return 0x03C3;
    if (c == 0x0345)
        return 0x03B9;
    if (c >= 0xAB70 && c <= 0xABBF)
        return static_cast<wchar_t>(c - 0xAB70 + 0x13A0);
    if (c >= 0x13F8 && c <= 0x13FD)
        return static_cast<wchar_t>(c - 8);
    return c;
}

std::wstring MapCase(const std::wstring& text, DWORD flags) {
    const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, flags, text.data(),
                                static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr, 0);
    if (n <= 0)
        return text;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    LCMapStringEx(LOCALE_NAME_INVARIANT, flags, text.data(), static_cast<int>(text.size()),
                  out.data(), n, nullptr, nullptr, 0);
    return out;
}

std::wstring NormalizeKc(const std::wstring& text) {
    if (text.empty())
        return text;
    // The first answer is an estimate; a second call with its size may still ask for more.
    int size =
        NormalizeString(NormalizationKC, text.data(), static_cast<int>(text.size()), nullptr, 0);
    for (int attempt = 0; attempt < 4 && size > 0; ++attempt) {
        std::wstring out(static_cast<std::size_t>(size), L'\0');
        const int n = NormalizeString(NormalizationKC, text.data(), static_cast<int>(text.size()),
                                      out.data(), size);
        if (n > 0) {
            out.resize(static_cast<std::size_t>(n));
            return out;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        size = -n;
    }
    return text;  // not normalisable (invalid UTF-16): compared as it stands
}

}  // namespace

std::string RawSha256(std::string_view bytes) {
    // Opened once for the process and shared by every thread, as CNG allows.
    static const BCRYPT_ALG_HANDLE algorithm = [] {
        BCRYPT_ALG_HANDLE h = nullptr;
        return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr, 0))
                   ? h
                   : nullptr;
    }();
    std::string digest(32, '\0');
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = algorithm != nullptr &&
              BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    // CNG takes a ULONG's worth at a time.
    for (std::string_view rest = bytes; ok && !rest.empty();) {
        const ULONG n = static_cast<ULONG>(std::min<std::size_t>(rest.size(), 0x40000000));
        ok = BCRYPT_SUCCESS(
            BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(rest.data())), n, 0));
        rest.remove_prefix(n);
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()),
                                               static_cast<ULONG>(digest.size()), 0));
    if (hash)
        BCryptDestroyHash(hash);
    // Without a hash no entry can be named or checked; an empty digest matches no entry.
    return ok ? digest : std::string();
}

std::string NameKey(std::string_view name) {
    // Upper then lower case, then the few folds beyond that: the classes simple case folding
    // gives, which Qt's toCaseFolded gives on Linux.
    const std::wstring folded =
        MapCase(MapCase(NormalizeKc(win::ToWide(name)), LCMAP_UPPERCASE), LCMAP_LOWERCASE);
    std::wstring key;
    bool space = false;
    for (wchar_t c : folded) {
        c = FoldBeyondLowerCase(c);
        if (IsSpace(c)) {
            space = !key.empty();
            continue;
        }
        if (space)
            key += L' ';
        space = false;
        key += c;
    }
    return win::FromWide(key);
}

fs::path DefaultCacheFolder() {
    PWSTR folder = nullptr;
    fs::path path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder)))
        path = fs::path(folder) / L"norvo" / L"cache";
    CoTaskMemFree(folder);
    return path;
}

bool MakeCacheFolder(const fs::path& folder) {
    // The folder inherits the access list of its parent: under %LOCALAPPDATA% that is the
    // user's alone; a folder the user named is left as it is. (A folder's read-only attribute
    // only marks it as customised in Explorer: Windows does not stop writes for it.)
    std::error_code ec;
    fs::create_directories(folder, ec);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // The access list decides who may write there: ask it by writing a file that goes when
    // closed (its name is neither an entry's nor a temporary file's).
    const fs::path probe = folder / (L".probe-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                     std::to_wstring(GetCurrentThreadId()));
    const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool ReadWholeFile(const fs::path& file, std::string& out) {
    Handle f{CreateFileW(file.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (f.h == INVALID_HANDLE_VALUE || GetFileType(f.h) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(f.h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (size > out.max_size())
        return false;
    out.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < out.size()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(f.h, out.data() + done, want, &got, nullptr) || got == 0)
            return false;
        done += got;
    }
    return true;
}

bool WriteFileReplacing(const fs::path& file, std::string_view tempPrefix,
                        std::initializer_list<std::string_view> parts,
                        std::uint64_t& replacedBytes) {
    static const wchar_t kTail[] =
        L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(kTail)) - 2);

    fs::path temp;
    Handle f;
    for (int i = 0; i < kTempNameTries && f.h == INVALID_HANDLE_VALUE; ++i) {
        std::wstring name = win::ToWide(tempPrefix);
        for (int k = 0; k < 6; ++k) name += kTail[pick(random)];
        temp = file.parent_path() / name;
        f.h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f.h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (f.h == INVALID_HANDLE_VALUE)
        return false;
    bool written = true;
    for (std::string_view part : parts) {
        while (written && !part.empty()) {
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(part.size(), 1u << 30));
            DWORD put = 0;
            written = WriteFile(f.h, part.data(), want, &put, nullptr) && put > 0;
            part.remove_prefix(put);
        }
    }
    WIN32_FILE_ATTRIBUTE_DATA old{};
    replacedBytes = GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &old)
                        ? (std::uint64_t{old.nFileSizeHigh} << 32) | old.nFileSizeLow
                        : 0;
    if (!f.Close() || !written ||
        !MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

fs::file_time_type LastWriteTime(const fs::path& file, std::error_code& ec) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        ec.assign(static_cast<int>(GetLastError()), std::system_category());
        return fs::file_time_type::min();
    }
    ec.clear();
    // FILETIME counts 100 ns steps since 1601; the Unix epoch is 11644473600 s later.
    const std::int64_t ticks = (std::int64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                               data.ftLastWriteTime.dwLowDateTime;
    const std::chrono::sys_time<std::chrono::nanoseconds> written{
        std::chrono::nanoseconds((ticks - 116444736000000000LL) * 100)};
    return std::chrono::time_point_cast<fs::file_time_type::duration>(
        std::chrono::file_clock::from_sys(written));
}

void MarkUsed(const fs::path& file) {
    Handle f{CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (f.h == INVALID_HANDLE_VALUE)
        return;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    SetFileTime(f.h, nullptr, nullptr, &now);
}

}  // namespace norvo::store_platform
