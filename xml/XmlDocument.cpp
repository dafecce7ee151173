#include "xml/XmlDocument.h"

#include <cstdio>
#include <memory>

#include "text/StringList.h"
#include "xml/XmlText.h"

namespace norvo {

namespace {

constexpr char kTokenQuote = '\'';
// Internal result of Parse when a limit was hit; Load turns it into XML_ERR_OPEN.
constexpr int kOverLimit = -1;

// Builds the flat element list of the comment-free document text; returns an XmlResult or
// kOverLimit.
class Parser {
public:
    explicit Parser(std::vector<XmlElement>& elements) : m_elements(elements) {}

    int Parse(std::string_view text) {
        if (text.empty()) {
            return XML_OK;
        }
        size_t pos = 0;
        for (;;) {
            const size_t open = xml::FindDelimiter(text, '<', pos);
            if (open == std::string_view::npos) {
                break;
            }
            if (m_nDepth != 0 && open > pos) {
                // Text outside every element is dropped.
                if (!Append(XML_TEXT, std::string(text.substr(pos, open - pos)))) {
                    return kOverLimit;
                }
            }
            const size_t close = xml::FindDelimiter(text, '>', open + 1);
            if (close == std::string_view::npos) {
                return XML_ERR_UNCLOSED_TAG;
            }
            StringList tokens;
            SplitString(std::string(text.substr(open + 1, close - open - 1)), tokens, " ",
                        kTokenQuote, false);
            if (tokens.empty()) {
                return XML_ERR_NO_TAG_NAME;
            }
            pos = close + 1;
            if (const int result = Tag(tokens); result != XML_OK) {
                return result;
            }
            if (pos >= text.size()) {
                break;
            }
        }
        return m_nDepth != 0 ? XML_ERR_EXTRA_START_TAG : XML_OK;
    }

private:
    static std::string Lowered(std::string name) {
        xml::ToLowerAscii(name);
        return name;
    }

    bool Append(XmlElementKind kind, std::string name) {
        if (m_elements.size() >= kXmlMaxElements) {
            return false;
        }
        m_elements.push_back(XmlElement{kind, std::move(name), m_nDepth, {}});
        return true;
    }

    // One tag cut into tokens (none empty).
    int Tag(StringList& tokens) {
        const std::string& first = tokens.front();
        if (first.front() == '/') {
            if (--m_nDepth < 0) {
                return XML_ERR_EXTRA_END_TAG;
            }
            if (first.size() == 1) {
                return XML_ERR_BAD_TAG;
            }
            return Append(XML_END, Lowered(first.substr(1))) ? XML_OK : kOverLimit;
        }
        if (first.back() == '/') {
            return Append(XML_SINGLE, Lowered(first.substr(0, first.size() - 1))) ? XML_OK
                                                                                  : kOverLimit;
        }
        return StartTag(tokens);
    }

    // A start tag, a declaration or a processing instruction.
    int StartTag(StringList& tokens) {
        bool selfClosing = false;
        if (tokens.size() > 1) {
            if (tokens.back().back() == '/') {
                tokens.back().pop_back();
                selfClosing = true;
            }
            if (tokens.back() == "/") {
                tokens.pop_back();
                selfClosing = true;
            }
        }
        XmlElement element{XML_START, Lowered(tokens.front()), m_nDepth, {}};
        for (size_t i = 1; i < tokens.size(); ++i) {
            StringList pieces;
            SplitString(tokens[i], pieces, "=", kTokenQuote, false);
            if (pieces.empty()) {
                continue;
            }
            if (m_nAttributes >= kXmlMaxAttributes) {
                return kOverLimit;
            }
            ++m_nAttributes;
            XmlAttribute attribute{Lowered(std::move(pieces[0])), {}};
            xml::StripSingleQuotes(attribute.name);
            if (pieces.size() > 1) {
                attribute.value = std::move(pieces[1]);
                xml::StripSingleQuotes(attribute.value);
            }
            element.attributes.push_back(std::move(attribute));
        }
        const char lead = element.name.front();
        if (tokens.back() == "/") {
            element.kind = XML_SINGLE;
            if (!element.attributes.empty()) {
                element.attributes.pop_back();  // the one the lone '/' token made
            }
        } else if (lead == '!' || lead == '?') {
            element.kind = XML_SINGLE;
        }
        if (m_elements.size() >= kXmlMaxElements) {
            return kOverLimit;
        }
        const std::string name = element.name;
        const XmlElementKind kind = element.kind;
        m_elements.push_back(std::move(element));
        if (kind == XML_START) {
            if (selfClosing) {
                return Append(XML_END, name) ? XML_OK : kOverLimit;
            }
            ++m_nDepth;
        }
        return XML_OK;
    }

    std::vector<XmlElement>& m_elements;
    std::int32_t m_nDepth = 0;
    size_t m_nAttributes = 0;
};

XmlResult ParseDocument(std::string_view bytes, std::vector<XmlElement>& elements) {
    const std::string text = xml::StripComments(xml::JoinLines(bytes));
    const int result = Parser(elements).Parse(text);
    if (result == kOverLimit) {
        std::vector<XmlElement>().swap(elements);
        return XML_ERR_OPEN;
    }
    return static_cast<XmlResult>(result);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

const char* XmlResultText(XmlResult result) {
    switch (result) {
        case XML_OK:
            return "OK";
        case XML_ERR_OPEN:
            return "ファイルを開けませんでした.";
        case XML_ERR_UNCLOSED_TAG:
            return "タグが>で閉じられていません.";
        case XML_ERR_NO_TAG_NAME:
            return "タグ名を取得できません.";
        case XML_ERR_EXTRA_END_TAG:
            return "終了タグ過多です.";
        case XML_ERR_EXTRA_START_TAG:
            return "開始タグ過多です.";
        case XML_ERR_BAD_TAG:
            return "不完全で解釈できないタグが存在します.";
        default:
            return "";
    }
}

XmlResult CXmlDocument::Load(const char* path) {
    m_elements.clear();
    if (path == nullptr) {
        return XML_ERR_OPEN;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) {
        return XML_ERR_OPEN;
    }
    // Read one byte past the limit so that an over-long file is told from one that fits.
    std::string bytes;
    char chunk[64 * 1024];
    while (bytes.size() <= kXmlMaxDocumentBytes) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.append(chunk, got);
        if (got < sizeof chunk) {
            break;
        }
    }
    if (std::ferror(file.get()) || bytes.size() > kXmlMaxDocumentBytes) {
        return XML_ERR_OPEN;
    }
    return ParseDocument(bytes, m_elements);
}

XmlResult CXmlDocument::LoadFromMemory(std::string_view bytes) {
    m_elements.clear();
    if (bytes.size() > kXmlMaxDocumentBytes) {
        return XML_ERR_OPEN;
    }
    return ParseDocument(bytes, m_elements);
}

void CXmlDocument::Rewind() {
    m_nCursor = -1;
}

bool CXmlDocument::Next() {
    const auto count = static_cast<std::int32_t>(m_elements.size());
    if (m_nCursor + 1 >= 0 && m_nCursor + 1 < count) {
        ++m_nCursor;
        return true;
    }
    m_nCursor = count;
    return false;
}

std::string CXmlDocument::GetName() const {
    if (m_nCursor < 0 || static_cast<size_t>(m_nCursor) >= m_elements.size()) {
        return {};
    }
    return m_elements[m_nCursor].name;
}

std::string CXmlDocument::GetAttribute(const std::string& name) const {
    if (m_nCursor < 0 || static_cast<size_t>(m_nCursor) >= m_elements.size()) {
        return {};
    }
    for (const XmlAttribute& attribute : m_elements[m_nCursor].attributes) {
        if (attribute.name == name) {
            return attribute.value;
        }
    }
    return {};
}

}  // namespace norvo
