#include "services/gallery/store/PictureStore.h"

namespace norvo {

PictureStore::PictureStore(std::filesystem::path root) : m_root(std::move(root)) {}

}  // namespace norvo
