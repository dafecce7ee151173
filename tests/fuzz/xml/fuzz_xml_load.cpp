// The XML reader over arbitrary bytes, then a full cursor walk.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "xml/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norvo::CXmlDocument doc;
    const norvo::XmlResult result =
        doc.LoadFromMemory(std::string_view(reinterpret_cast<const char*>(data), size));
    if (result < norvo::XML_OK || result > norvo::XML_ERR_BAD_TAG ||
        *norvo::XmlResultText(result) == 0) {
        __builtin_trap();
    }
    // A document that loads closes every element it opens.
    long balance = 0;
    for (const norvo::XmlElement& e : doc.Elements()) {
        if (e.depth < 0) {
            __builtin_trap();
        }
        balance += (e.kind == norvo::XML_START) - (e.kind == norvo::XML_END);
    }
    if (result == norvo::XML_OK && balance != 0) {
        __builtin_trap();
    }
    doc.Rewind();
    while (doc.Next()) {
        (void)doc.GetName();
        (void)doc.GetAttribute("x");
    }
    if (static_cast<size_t>(doc.Cursor()) != doc.Elements().size() || !doc.GetName().empty()) {
        __builtin_trap();
    }
    return 0;
}
