#pragma once

#include <optional>
#include <string>
#include <vector>

#include "web/LookupContext.h"

namespace norvo {

// Path and query of the lookup service's credit address; the picture address follows,
// percent-encoded.
inline constexpr char kSourceQuery[] = "/api/source?url=";
// The file the module stores a credit answer in, inside the work folder.
inline constexpr char kSourceAnswerFile[] = "source.json";
// Credit answers longer than this are not read: a real one is a few hundred bytes.
inline constexpr size_t kMaxSourceAnswerBytes = 64 * 1024;
// Each text of a credit is cut to this many bytes (at a character boundary), so that a
// service cannot blow up a portrait's metadata.
inline constexpr size_t kMaxCreditFieldBytes = 1024;

// Where a source picture comes from, as the lookup service tells it; "" where unknown.
struct PictureCredit {
    std::string provider;  // "gallery", "wikimedia", "searxng"
    std::string file;      // the picture's file name (for the gallery "<folder>/<file>")
    std::string page;      // the page that describes the picture
    std::string original;  // the picture's own address at its source
    std::string author;
    std::string license;
    std::string licenseUrl;
    bool attributionRequired = false;
    // Who is in the picture, as the source knows them: the name, the service's id for them
    // (a Wikidata id, or the gallery folder) and a one-line description in the user's language.
    std::string person;
    std::string personId;
    std::string description;
    // Rights beside the licence that may restrict a use, as the source lists them (e.g.
    // "personality": the person's own rights to their picture); "" when none are known.
    std::string restrictions;
};

// Reads a credit answer (a JSON object); nullopt when it is not one. Missing fields and fields
// of another type read as ""/false, and texts are cut to kMaxCreditFieldBytes.
std::optional<PictureCredit> ParsePictureCredit(const std::string& json);

// Asks the detection service for the credit of the picture at `address` (an address the
// service handed out in a search answer). When the service cannot tell (an address it never
// handed out, a service without that question, an unreadable answer) the credit holds only the
// address's file name. Shows nothing and leaves no file behind.
PictureCredit LookupPictureCredit(LookupContext& ctx, const std::string& address);

// Path and query of the lookup service's people address; the typed name follows,
// percent-encoded UTF-8.
inline constexpr char kPeopleQuery[] = "/api/people?q=";
// The file the module stores a people answer in, inside the work folder.
inline constexpr char kPeopleAnswerFile[] = "people.json";
// A name stands for at most this many people in the service's answer.
inline constexpr size_t kMaxPeople = 6;

// One person a name may stand for, as the lookup service lists them.
struct Person {
    std::string id;           // what a search is kept to (a Wikidata id, or the gallery folder)
    std::string name;         // as the source writes it
    std::string description;  // one line in the user's language; "" when the source has none
    std::string picture;      // a small picture's address at the service; "" when none

    friend bool operator==(const Person&, const Person&) = default;
};

// Reads a people answer ({"people":[{"id":…,"name":…,"description":…,"picture":…},…]}); nullopt
// when it is not one. Entries without an id are passed over; at most kMaxPeople are kept.
std::optional<std::vector<Person>> ParsePeople(const std::string& json);

// The people `name` (locale-encoded bytes) may stand for, as the service tells them; empty when
// it cannot tell (a service without that question, an unreadable answer). Shows nothing and
// leaves no file behind.
std::vector<Person> LookupPeople(LookupContext& ctx, const char* name);

}  // namespace norvo
