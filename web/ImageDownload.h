#pragma once

#include <string>

#include "web/LookupContext.h"

namespace norvo {

// The file name a picture address is stored under: its last non-empty piece at '/', query
// included; "" when there is none.
std::string PictureFileName(const std::string& address);

// Stores the picture at `address` in the work folder under PictureFileName(address) and sets
// `localPath` to it. 0 stored; 1 failed (nothing shown; a partly written file is deleted).
// An address without a usable file name fails without a request and leaves `localPath` as is.
int DownloadPicture(LookupContext& ctx, std::string address, std::string& localPath);

// As DownloadPicture, but stores under the bare `fileName` (used when two pictures would share
// one name).
int DownloadPictureAs(LookupContext& ctx, std::string address, const std::string& fileName,
                      std::string& localPath);

// Deletes a file the run stored; never removes a folder and ignores a missing file.
void DeleteRunFile(const std::string& path);

}  // namespace norvo
