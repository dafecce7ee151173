#pragma once

#include <string>

#include "xml/XmlDocument.h"

namespace norvo::testing_support {

// The element list in one line: "S:r:0 S:a:1[x=1,y=2] E:a:1 T:hi:1 X:b:1".
inline std::string Dump(const CXmlDocument& doc) {
    static const char kKinds[] = {'T', 'S', 'E', 'X'};
    std::string out;
    for (const XmlElement& e : doc.Elements()) {
        if (!out.empty()) {
            out += ' ';
        }
        out += kKinds[e.kind];
        out += ':' + e.name + ':' + std::to_string(e.depth);
        if (!e.attributes.empty()) {
            out += '[';
            for (size_t i = 0; i < e.attributes.size(); ++i) {
                out += (i ? "," : "") + e.attributes[i].name + '=' + e.attributes[i].value;
            }
            out += ']';
        }
    }
    return out;
}

}  // namespace norvo::testing_support
