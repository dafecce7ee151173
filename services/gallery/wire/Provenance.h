#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "services/gallery/wire/Candidate.h"

namespace norvo {

// Where a picture the service hands out comes from. Strings are "" when unknown.
struct Provenance {
    std::string provider{};  // "gallery", "wikimedia", "searxng"
    std::string file{};      // the picture's file name ("<folder>/<file>" for the gallery)
    std::string page{};      // the page that shows the picture
    std::string original{};  // the original picture's address (or, for the gallery, its source)
    std::string author{};    // plain text
    std::string license{};   // licence name
    std::string licenseUrl{};
    bool attributionRequired = false;
    // Who is in the picture: the name as the source found it, the id a search can be kept to
    // (a Wikidata id, or the gallery folder) and one line about them in the user's language.
    std::string person{};
    std::string personId{};
    std::string description{};
    // "personality" when the source lists personality rights (a warning about commercial use
    // and endorsement, not a licence term); "" else.
    std::string restrictions{};

    friend bool operator==(const Provenance&, const Provenance&) = default;
};

// The /api/source answer: one JSON object with the fields above in that order.
std::string ProvenanceJson(const Provenance& provenance);

// The /api/people answer: {"people":[{"id","name","description","picture"},...]}, each picture's
// path after `base` (the service's address), "" for none.
std::string PeopleJson(const std::vector<PersonCandidate>& people, const std::string& base);

// The credits a picture folder keeps in its SOURCES.md: a table whose first column names
// pictures as `<folder>/<file>`, with columns "source package", "path in the package" and
// "licence"; and optionally a table of variants whose first column is a file name pattern
// with "<name>" standing for the stem of a picture of the first table in the same folder
// ("`<name>_small.jpg`"). Anything else in the file is ignored.
class GalleryCredits {
public:
    // Reads `folder`/SOURCES.md; a missing or unreadable file gives no credits.
    static GalleryCredits Load(const std::filesystem::path& folder);
    static GalleryCredits Parse(std::string_view markdown);

    // Provenance of "<folder>/<file>": from the credits when they name it (directly or as a
    // variant), else just the provider and the file; the folder is the person.
    Provenance Of(const std::string& folderAndFile) const;

private:
    Provenance Credited(const std::string& folderAndFile) const;

    std::map<std::string, Provenance> m_pictures;  // by "<folder>/<file>"
    std::vector<std::string> m_variantPatterns;    // "<name>_small.jpg"
};

}  // namespace norvo
