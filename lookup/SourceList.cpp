#include "lookup/SourceList.h"

#include <algorithm>

namespace norvo {

namespace {

constexpr std::string_view kGallery = "gallery";
constexpr std::string_view kWikimedia = "wikimedia";
constexpr std::string_view kSearxng = "searxng";

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsWebAddress(std::string_view address) {
    for (std::string_view scheme : {"http://", "https://"}) {
        if (address.size() > scheme.size() && address.substr(0, scheme.size()) == scheme)
            return std::none_of(address.begin(), address.end(), [](char c) {
                return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
            });
    }
    return false;
}

}  // namespace

std::optional<std::vector<SourceChoice>> ParseSourceList(std::string_view list,
                                                         std::string& error) {
    std::vector<SourceChoice> sources;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view entry = Trimmed(list.substr(start, comma - start));
        start = comma + 1;
        if (entry.empty())
            continue;
        const std::size_t equals = entry.find('=');
        const std::string_view name = Trimmed(entry.substr(0, equals));
        SourceChoice choice;
        if (name == kSearxng) {
            std::string_view base = equals == std::string_view::npos
                                        ? std::string_view()
                                        : Trimmed(entry.substr(equals + 1));
            while (!base.empty() && base.back() == '/') base.remove_suffix(1);
            if (!IsWebAddress(base)) {
                error =
                    "'" + std::string(entry) +
                    "': searxng needs the instance's address, as in searxng=https://search.example";
                return std::nullopt;
            }
            choice.kind = SourceChoice::Kind::Searxng;
            choice.base = std::string(base);
        } else if ((name == kGallery || name == kWikimedia) && equals == std::string_view::npos) {
            choice.kind =
                name == kGallery ? SourceChoice::Kind::Gallery : SourceChoice::Kind::Wikimedia;
        } else {
            error = "unknown picture source '" + std::string(entry) +
                    "' (known: gallery, wikimedia, searxng=URL)";
            return std::nullopt;
        }
        for (const SourceChoice& seen : sources) {
            if (seen.kind == choice.kind) {
                error = "picture source '" + std::string(name) + "' given twice";
                return std::nullopt;
            }
        }
        sources.push_back(std::move(choice));
    }
    if (sources.empty()) {
        error = "no picture source given";
        return std::nullopt;
    }
    return sources;
}

std::string SourceListText(const std::vector<SourceChoice>& sources) {
    std::string text;
    for (const SourceChoice& s : sources) {
        if (!text.empty())
            text += ',';
        switch (s.kind) {
            case SourceChoice::Kind::Gallery:
                text += kGallery;
                break;
            case SourceChoice::Kind::Wikimedia:
                text += kWikimedia;
                break;
            case SourceChoice::Kind::Searxng:
                text += std::string(kSearxng) + "=" + s.base;
                break;
        }
    }
    return text;
}

bool ReachesTheWeb(const std::vector<SourceChoice>& sources) {
    for (const SourceChoice& s : sources) {
        if (s.kind != SourceChoice::Kind::Gallery)
            return true;
    }
    return false;
}

}  // namespace norvo
