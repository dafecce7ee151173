#include "services/gallery/wire/PicturePaths.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cctype>
#include <string>
#include <system_error>

#include "base/Utf8Path.h"
#include "services/gallery/wire/ServiceText.h"

namespace norvo {

namespace fs = std::filesystem;

const char* describe(PathStatus status) {
    switch (status) {
        case PathStatus::Ok:
            return "ok";
        case PathStatus::BadEncoding:
            return "bad percent-encoding in the picture path";
        case PathStatus::Outside:
            return "the picture path leads out of the gallery";
        case PathStatus::NotFound:
            return "no such picture";
    }
    return "unknown path status";
}

#ifdef _WIN32
// The path with every link and junction resolved, as the system opens it: MinGW's canonical()
// follows none. Sets `ec` when the path cannot be opened (a missing file among others).
fs::path RealPath(const fs::path& path, std::error_code& ec) {
    const HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ec.assign(static_cast<int>(GetLastError()), std::system_category());
        return {};
    }
    std::wstring real(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file, real.data(), static_cast<DWORD>(real.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= real.size()) {
        real.resize(n);
        n = GetFinalPathNameByHandleW(file, real.data(), static_cast<DWORD>(real.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (n == 0 || n >= real.size()) {
        ec.assign(static_cast<int>(error), std::system_category());
        return {};
    }
    real.resize(n);
    ec.clear();
    if (real.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return fs::path(L"\\\\" + real.substr(8));
    if (real.rfind(L"\\\\?\\", 0) == 0)
        return fs::path(real.substr(4));
    return fs::path(real);
}
#endif

PathStatus ResolvePicturePath(const fs::path& root, std::string_view encodedPath, fs::path& file) {
    const std::optional<std::string> decoded = ServiceText::PercentDecode(encodedPath, false);
    if (!decoded || decoded->find('\0') != std::string::npos)
        return PathStatus::BadEncoding;
    if (decoded->empty())
        return PathStatus::NotFound;
    if (decoded->front() == '/')
        return PathStatus::Outside;

    // Refuse dot segments outright instead of trusting normalisation to keep them inside.
    fs::path relative;
    std::size_t start = 0;
    while (start <= decoded->size()) {
        std::size_t slash = decoded->find('/', start);
        if (slash == std::string::npos)
            slash = decoded->size();
        const std::string segment = decoded->substr(start, slash - start);
        if (segment == "..")
            return PathStatus::Outside;
        if (segment.empty() || segment == ".")
            return PathStatus::NotFound;
#ifdef _WIN32
        // Windows reads '\' as a separator and ':' as a drive or a file's named stream.
        if (segment.find_first_of("\\:") != std::string::npos)
            return PathStatus::Outside;
#endif
        relative /= PathFromUtf8(segment);
        start = slash + 1;
    }

    std::error_code ec;
#ifdef _WIN32
    const fs::path realRoot = RealPath(root, ec);
#else
    const fs::path realRoot = fs::canonical(root, ec);
#endif
    if (ec)
        return PathStatus::NotFound;
        // Symlinks are resolved here, so a link that points out of the gallery is caught below.
#ifdef _WIN32
    const fs::path real = RealPath(realRoot / relative, ec);
#else
    const fs::path real = fs::weakly_canonical(realRoot / relative, ec);
#endif
    if (ec)
        return PathStatus::NotFound;
    auto [rootEnd, realIt] =
        std::mismatch(realRoot.begin(), realRoot.end(), real.begin(), real.end());
    if (rootEnd != realRoot.end() || realIt == real.end())
        return PathStatus::Outside;

    if (!fs::is_regular_file(real, ec) || PictureContentType(real) == nullptr)
        return PathStatus::NotFound;
    file = real;
    return PathStatus::Ok;
}

const char* PictureContentType(const fs::path& file) {
    std::string ext = Utf8Of(file.extension());
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".jpg" || ext == ".jpeg")
        return "image/jpeg";
    if (ext == ".png")
        return "image/png";
    if (ext == ".gif")
        return "image/gif";
    if (ext == ".bmp")
        return "image/bmp";
    if (ext == ".webp")
        return "image/webp";
    if (ext == ".tif" || ext == ".tiff")
        return "image/tiff";
    return nullptr;
}

}  // namespace norvo
