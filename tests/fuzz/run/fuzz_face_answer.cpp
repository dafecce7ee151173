// Detection answers from a hostile service: boxes must come out without undefined arithmetic,
// and the chosen face must be one of the listed boxes with a positive area.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "web/FaceDetection.h"
#include "xml/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norvo::CXmlDocument document;
    if (document.LoadFromMemory(std::string_view(reinterpret_cast<const char*>(data), size)) !=
        norvo::XML_OK) {
        return 0;
    }
    const auto [box, list] = norvo::CollectFaceBoxes(document);
    if (box != norvo::FaceBox{}) {
        bool listed = false;
        for (const auto& b : list) {
            listed = listed || b == box;
        }
        if (!listed || norvo::FaceArea(box) <= 0) {
            std::abort();
        }
    }
    return 0;
}
