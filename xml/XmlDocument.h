#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norvo {

// A detection answer lists a few faces in a few kilobytes. These limits sit far above any real
// answer and keep what a broken or hostile file can make the reader allocate to a few dozen
// MB. Going over one loads nothing: Load reports XML_ERR_OPEN, the file is not taken in.

// Bytes of one document; a longer file is not read any further.
inline constexpr std::size_t kXmlMaxDocumentBytes = 1 << 20;
// Entries of the element list (start, end, single and text elements together).
inline constexpr std::size_t kXmlMaxElements = 100'000;
// Attributes of all elements of one document together.
inline constexpr std::size_t kXmlMaxAttributes = 100'000;

// What one entry of the element list stands for.
enum XmlElementKind : std::uint8_t {
    XML_TEXT = 0,    // text between two tags, inside an element
    XML_START = 1,   // a start tag (also one that closes itself and has attributes)
    XML_END = 2,     // an end tag, or the entry closing a self-closing start tag
    XML_SINGLE = 3,  // <name/>, <!...> or <?...>: opens nothing
};

// Result of CXmlDocument::Load; XmlResultText gives the reader's text for each code.
enum XmlResult : int {
    XML_OK = 0,                   // the whole text was read
    XML_ERR_OPEN = 1,             // the file cannot be read, or it exceeds the reader's limits
    XML_ERR_UNCLOSED_TAG = 2,     // a '<' has no '>' after it
    XML_ERR_NO_TAG_NAME = 3,      // a tag holds no token at all
    XML_ERR_EXTRA_END_TAG = 4,    // an end tag comes when no element is open
    XML_ERR_EXTRA_START_TAG = 5,  // elements are still open at the end of the text
    XML_ERR_BAD_TAG = 6,          // an end tag whose first token is a lone '/'
};

// The reader's text for a result (UTF-8); "" for a value outside the list.
const char* XmlResultText(XmlResult result);

// One attribute: name lower-cased (ASCII) and both freed of enclosing single quotes.
struct XmlAttribute {
    std::string name;
    std::string value;
};

// One entry of the flat element list, in document order.
struct XmlElement {
    XmlElementKind kind = XML_TEXT;
    std::string name;        // tag name lower-cased, or the raw bytes of a text element
    std::int32_t depth = 0;  // elements open around it (a start tag: those open before it)
    std::vector<XmlAttribute> attributes;
};

// Reader for the small XML subset of the face-detection answer: a flat element list walked by
// a cursor. Bytes are read as Shift-JIS where a tag or text could cut a double-byte character.
class CXmlDocument {
public:
    CXmlDocument() = default;

    // Reads and parses the file at `path`. The list is rebuilt (elements before an error stay,
    // XML_ERR_OPEN leaves it empty); the cursor keeps its value.
    XmlResult Load(const char* path);

    // Same as Load over bytes already in memory.
    XmlResult LoadFromMemory(std::string_view bytes);

    // Puts the cursor before the first element.
    void Rewind();

    // Moves to the next element: true when the cursor stands on one, false once the walk ended.
    bool Next();

    // Name of the element under the cursor; "" when the cursor is on none.
    std::string GetName() const;

    // Value of the first attribute of the current element named exactly `name` (pass it
    // lower-case); "" when there is none or the cursor is on no element.
    std::string GetAttribute(const std::string& name) const;

    const std::vector<XmlElement>& Elements() const { return m_elements; }
    std::int32_t Cursor() const { return m_nCursor; }

private:
    std::vector<XmlElement> m_elements;
    std::int32_t m_nCursor = -1;
};

}  // namespace norvo
