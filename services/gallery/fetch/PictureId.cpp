#include "services/gallery/fetch/PictureId.h"

#include "services/gallery/store/DiskCache.h"

namespace norvo {

std::string PictureId(std::string_view address) {
    return DiskCache::Hash(address).substr(0, kPictureIdChars);
}

}  // namespace norvo
