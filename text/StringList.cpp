#include "text/StringList.h"

#include <algorithm>

namespace norvo {

namespace {

// The inside-quotes walk over the current piece. Walking from the piece start to p gives the
// same flag whether done at once or in steps, so one walker serves all occurrences of a piece
// and the split stays linear.
class QuoteWalker {
public:
    QuoteWalker(const std::string& text, char quote) : text_(text), quote_(quote) {}

    void Restart(size_t start) {
        next_ = start;
        inside_ = false;
    }

    // Walks up to and including position `p`; true when that position lies inside quotes.
    bool InsideAt(size_t p) {
        while (next_ <= p && next_ < text_.size()) {
            const auto b = static_cast<unsigned char>(text_[next_]);
            if (IsLeadByte(b)) {
                next_ += 2;  // the second byte is passed over unexamined
                continue;
            }
            if (text_[next_] == quote_) {
                inside_ = !inside_;
            }
            ++next_;
        }
        return inside_;
    }

private:
    const std::string& text_;
    char quote_;
    size_t next_ = 0;
    bool inside_ = false;
};

}  // namespace

void SplitString(std::string text, StringList& list, std::string delimiter, char quote,
                 bool keepEmpty) {
    if (text.empty() || delimiter.empty()) {
        return;
    }
    // `base` is where the current (conceptually shortened) text begins.
    size_t base = 0;
    size_t searchFrom = 0;
    QuoteWalker walker(text, quote);
    walker.Restart(base);
    for (;;) {
        const size_t found = text.find(delimiter, base + searchFrom);
        if (found == std::string::npos) {
            break;
        }
        const size_t p = found - base;
        if (quote != 0 && walker.InsideAt(found)) {
            searchFrom = p + 1;
            continue;
        }
        if (keepEmpty || p != 0) {
            list.emplace_back(text, base, p);
        }
        base = std::min(text.size(), found + delimiter.size());
        searchFrom = 0;
        walker.Restart(base);
    }
    if (keepEmpty || base < text.size()) {
        list.emplace_back(text, base);
    }
}

}  // namespace norvo
