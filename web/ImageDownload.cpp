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

int DownloadPicture(LookupContext& ctx, std::string address, std::string& localPath) {
    const std::string fileName = PictureFileName(address);
    return DownloadPictureAs(ctx, std::move(address), fileName, localPath);
}

int DownloadPictureAs(LookupContext& ctx, std::string address, const std::string& fileName,
                      std::string& localPath) {
    // "." and ".." name the work folder and its parent: no picture may be stored (or deleted)
    // there, so such an address is refused like one without a name.
    if (fileName.empty() || fileName == "." || fileName == ".." ||
        fileName.find('/') != std::string::npos) {
        return 1;
    }
    localPath = ctx.workFolder + fileName;
    HeaderTable table;
    if (ctx.saori.SaoriRequest(2, address.c_str(), fileName.c_str(), "", table) != 0) {
        DeleteRunFile(localPath);
        return 1;
    }
    return 0;
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
