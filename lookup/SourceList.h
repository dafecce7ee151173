#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvo {

// One picture source of the lookup service.
struct SourceChoice {
    enum class Kind {
        Gallery,    // the picture folder
        Wikimedia,  // Wikipedia's lead images and the person's Wikimedia Commons files
        Searxng,    // a SearXNG instance's image search
    };
    Kind kind = Kind::Gallery;
    std::string base;  // the instance's address for Searxng (no trailing '/'), else ""

    friend bool operator==(const SourceChoice&, const SourceChoice&) = default;
};

// Reads "gallery,wikimedia,searxng=https://search.example" (entries trimmed, in the order
// they are asked). nullopt for an empty list, an unknown or repeated source, or a SearXNG
// entry without an http(s) address; `error` then says which entry and why.
std::optional<std::vector<SourceChoice>> ParseSourceList(std::string_view list, std::string& error);

// The list as ParseSourceList reads it back.
std::string SourceListText(const std::vector<SourceChoice>& sources);

// True when a source other than the picture folder is listed: names then leave the machine.
bool ReachesTheWeb(const std::vector<SourceChoice>& sources);

}  // namespace norvo
