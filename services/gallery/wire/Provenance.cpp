#include "services/gallery/wire/Provenance.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

namespace norvo {

namespace {

// Credits files are a few kilobytes; a larger one is not read.
constexpr std::size_t kMaxCreditsBytes = 1 << 20;
constexpr std::string_view kNamePlaceholder = "<name>";

std::string Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

// Cells of a Markdown table row "| a | `b` c |", code marks removed; empty for other lines.
std::vector<std::string> Cells(std::string_view line) {
    std::vector<std::string> cells;
    const std::string row = Trim(line);
    if (row.size() < 2 || row.front() != '|' || row.back() != '|')
        return cells;
    std::size_t start = 1;
    for (std::size_t bar; (bar = row.find('|', start)) != std::string::npos; start = bar + 1) {
        std::string cell = Trim(std::string_view(row).substr(start, bar - start));
        cell.erase(std::remove(cell.begin(), cell.end(), '`'), cell.end());
        cells.push_back(std::move(cell));
    }
    return cells;
}

bool IsRule(const std::vector<std::string>& cells) {
    return !cells.empty() && cells[0].find("---") != std::string::npos;
}

}  // namespace

std::string ProvenanceJson(const Provenance& p) {
    nlohmann::ordered_json j;
    j["provider"] = p.provider;
    j["file"] = p.file;
    j["page"] = p.page;
    j["original"] = p.original;
    j["author"] = p.author;
    j["license"] = p.license;
    j["licenseUrl"] = p.licenseUrl;
    j["attributionRequired"] = p.attributionRequired;
    j["person"] = p.person;
    j["personId"] = p.personId;
    j["description"] = p.description;
    j["restrictions"] = p.restrictions;
    // Texts from the web may hold broken UTF-8: replaced, never a reason to fail.
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string PeopleJson(const std::vector<PersonCandidate>& people, const std::string& base) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const PersonCandidate& person : people) {
        nlohmann::ordered_json j;
        j["id"] = person.id;
        j["name"] = person.name;
        j["description"] = person.description;
        j["picture"] = person.picture.empty() ? std::string() : base + person.picture;
        list.push_back(std::move(j));
    }
    nlohmann::ordered_json answer;
    answer["people"] = std::move(list);
    return answer.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

GalleryCredits GalleryCredits::Load(const std::filesystem::path& folder) {
    std::ifstream in(folder / "SOURCES.md", std::ios::binary);
    std::string text;
    text.resize(kMaxCreditsBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    if (text.size() > kMaxCreditsBytes)
        return {};
    return Parse(text);
}

GalleryCredits GalleryCredits::Parse(std::string_view markdown) {
    GalleryCredits credits;
    // Other: a table of neither kind, whose rows are skipped until it ends.
    enum class Table { None, Pictures, Variants, Other } table = Table::None;
    int packageColumn = -1, pathColumn = -1, licenceColumn = -1;
    std::size_t start = 0;
    while (start < markdown.size()) {
        std::size_t end = markdown.find('\n', start);
        if (end == std::string_view::npos)
            end = markdown.size();
        const std::vector<std::string> cells = Cells(markdown.substr(start, end - start));
        start = end + 1;
        if (cells.empty()) {
            table = Table::None;
            continue;
        }
        if (IsRule(cells))
            continue;
        if (table == Table::None) {
            // A header row decides what the table holds.
            if (cells[0] == "picture") {
                table = Table::Pictures;
                packageColumn = pathColumn = licenceColumn = -1;
                for (std::size_t i = 0; i < cells.size(); ++i) {
                    if (cells[i] == "source package")
                        packageColumn = static_cast<int>(i);
                    else if (cells[i] == "path in the package")
                        pathColumn = static_cast<int>(i);
                    else if (cells[i] == "licence" || cells[i] == "license")
                        licenceColumn = static_cast<int>(i);
                }
            } else if (cells[0] == "file") {
                table = Table::Variants;
            } else {
                table = Table::Other;
            }
            continue;
        }
        auto cell = [&](int column) {
            return column >= 0 && static_cast<std::size_t>(column) < cells.size()
                       ? cells[static_cast<std::size_t>(column)]
                       : std::string();
        };
        if (table == Table::Pictures && cells[0].find('/') != std::string::npos) {
            Provenance p;
            p.provider = "gallery";
            p.file = cells[0];
            p.original = cell(pathColumn);
            if (!cell(packageColumn).empty())
                p.original += (p.original.empty() ? "" : " ") + ("(" + cell(packageColumn) + ")");
            p.license = cell(licenceColumn);
            credits.m_pictures[p.file] = p;
        } else if (table == Table::Variants &&
                   cells[0].find(kNamePlaceholder) != std::string::npos) {
            credits.m_variantPatterns.push_back(cells[0]);
        }
    }
    return credits;
}

Provenance GalleryCredits::Of(const std::string& folderAndFile) const {
    Provenance p = Credited(folderAndFile);
    const std::size_t slash = folderAndFile.rfind('/');
    if (slash != std::string::npos) {
        // The folder names the person; it is also what a search is kept to.
        p.person = p.personId = p.description = folderAndFile.substr(0, slash);
    }
    return p;
}

Provenance GalleryCredits::Credited(const std::string& folderAndFile) const {
    if (const auto it = m_pictures.find(folderAndFile); it != m_pictures.end())
        return it->second;
    Provenance plain;
    plain.provider = "gallery";
    plain.file = folderAndFile;
    const std::size_t slash = folderAndFile.rfind('/');
    if (slash == std::string::npos)
        return plain;
    const std::string folder = folderAndFile.substr(0, slash + 1);
    const std::string file = folderAndFile.substr(slash + 1);
    for (const std::string& pattern : m_variantPatterns) {
        const std::size_t at = pattern.find(kNamePlaceholder);
        const std::string before = pattern.substr(0, at);
        const std::string after = pattern.substr(at + kNamePlaceholder.size());
        if (file.size() <= before.size() + after.size() ||
            file.compare(0, before.size(), before) != 0 ||
            file.compare(file.size() - after.size(), after.size(), after) != 0) {
            continue;
        }
        const std::string stem =
            file.substr(before.size(), file.size() - before.size() - after.size());
        // The variant's photograph: a picture of the same folder with this stem.
        for (const auto& [name, credit] : m_pictures) {
            if (name.compare(0, folder.size(), folder) == 0 &&
                name.compare(folder.size(), stem.size(), stem) == 0 &&
                name.size() > folder.size() + stem.size() &&
                name[folder.size() + stem.size()] == '.' &&
                name.find('/', folder.size()) == std::string::npos) {
                Provenance p = credit;
                p.file = folderAndFile;
                return p;
            }
        }
    }
    return plain;
}

}  // namespace norvo
