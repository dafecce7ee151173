#pragma once

#include <optional>
#include <string>

#include "web/LookupContext.h"

namespace norvo {

// The file name a picture address is stored under: its last non-empty piece at '/', query
// included; "" when there is none.
std::string PictureFileName(const std::string& address);

// Stores the picture at `address` in the work folder under PictureFileName(address); the
// stored file's path, or nullopt when it failed (nothing shown; a partly written file is
// deleted). An address without a usable file name fails without a request.
std::optional<std::string> DownloadPicture(LookupContext& ctx, const std::string& address);

// As DownloadPicture, but stores under the bare `fileName` (used when two pictures would share
// one name).
std::optional<std::string> DownloadPictureAs(LookupContext& ctx, const std::string& address,
                                             const std::string& fileName);

// Deletes a file the run stored; never removes a folder and ignores a missing file.
void DeleteRunFile(const std::string& path);

}  // namespace norvo
