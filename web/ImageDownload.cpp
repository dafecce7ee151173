#include "web/ImageDownload.h"

#include <filesystem>
#include <system_error>

#include "text/StringList.h"

namespace norvo {

std::string PictureFileName(const std::string& address) {
    StringList pieces;
    SplitString(address, pieces, "/", 0, false);
    return pieces.empty() ? std::string() : pieces.back();
}

std::optional<std::string> DownloadPicture(LookupContext& ctx, const std::string& address) {
    return DownloadPictureAs(ctx, address, PictureFileName(address));
}

std::optional<std::string> DownloadPictureAs(LookupContext& ctx, const std::string& address,
                                             const std::string& fileName) {
    // "." and ".." name the work folder and its parent: no picture may be stored (or deleted)
    // there, so such an address is refused like one without a name.
    if (fileName.empty() || fileName == "." || fileName == ".." ||
        fileName.find('/') != std::string::npos) {
        return std::nullopt;
    }
    const std::string localPath = ctx.workFolder + fileName;
    HeaderTable table;
    if (ctx.saori.SaoriRequest(2, address.c_str(), fileName.c_str(), "", table) != 0) {
        DeleteRunFile(localPath);
        return std::nullopt;
    }
    return localPath;
}

void DeleteRunFile(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(path, ec);
    if (ec || status.type() == std::filesystem::file_type::directory) {
        return;
    }
    std::filesystem::remove(path, ec);
}

}  // namespace norvo
