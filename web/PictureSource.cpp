#include "web/PictureSource.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "web/ImageDownload.h"
#include "web/TextEncoding.h"

namespace norvo {

namespace {

// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence (the parser has
// checked that the text is valid UTF-8).
std::string CutText(const std::string& text, size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

std::string TextField(const nlohmann::json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_string()
               ? CutText(it->get<std::string>(), kMaxCreditFieldBytes)
               : std::string();
}

// The whole file when it is at most `limit` bytes long; false otherwise.
bool ReadSmallFile(const std::string& path, size_t limit, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && out.size() <= limit;
}

}  // namespace

std::optional<PictureCredit> ParsePictureCredit(const std::string& json) {
    const nlohmann::json answer = nlohmann::json::parse(json, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        return std::nullopt;
    }
    PictureCredit credit;
    credit.provider = TextField(answer, "provider");
    credit.file = TextField(answer, "file");
    credit.page = TextField(answer, "page");
    credit.original = TextField(answer, "original");
    credit.author = TextField(answer, "author");
    credit.license = TextField(answer, "license");
    credit.licenseUrl = TextField(answer, "licenseUrl");
    const auto required = answer.find("attributionRequired");
    credit.attributionRequired =
        required != answer.end() && required->is_boolean() && required->get<bool>();
    credit.person = TextField(answer, "person");
    credit.personId = TextField(answer, "personId");
    credit.description = TextField(answer, "description");
    credit.restrictions = TextField(answer, "restrictions");
    return credit;
}

PictureCredit LookupPictureCredit(LookupContext& ctx, const std::string& address) {
    PictureCredit fallback;
    fallback.file = PictureFileName(address);
    const std::string question = ctx.detectBase + kSourceQuery + PercentEncode(address.c_str());
    const std::string answerPath = ctx.workFolder + kSourceAnswerFile;
    HeaderTable table;
    std::string json;
    std::optional<PictureCredit> credit;
    if (ctx.saori.SaoriRequest(2, question.c_str(), kSourceAnswerFile, "", table) == 0 &&
        ReadSmallFile(answerPath, kMaxSourceAnswerBytes, json)) {
        credit = ParsePictureCredit(json);
    }
    DeleteRunFile(answerPath);
    if (!credit) {
        return fallback;
    }
    if (credit->file.empty()) {
        credit->file = fallback.file;
    }
    return *credit;
}

std::optional<std::vector<Person>> ParsePeople(const std::string& json) {
    const nlohmann::json answer = nlohmann::json::parse(json, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        return std::nullopt;
    }
    const auto list = answer.find("people");
    if (list == answer.end() || !list->is_array()) {
        return std::nullopt;
    }
    std::vector<Person> people;
    for (const nlohmann::json& entry : *list) {
        if (people.size() == kMaxPeople) {
            break;
        }
        if (!entry.is_object()) {
            continue;
        }
        Person person{TextField(entry, "id"), TextField(entry, "name"),
                      TextField(entry, "description"), TextField(entry, "picture")};
        if (!person.id.empty()) {
            people.push_back(std::move(person));
        }
    }
    return people;
}

std::vector<Person> LookupPeople(LookupContext& ctx, const char* name) {
    const std::optional<std::string> utf8 = LocaleTextToUtf8(name);
    if (!utf8) {
        return {};
    }
    const std::string question = ctx.detectBase + kPeopleQuery + PercentEncode(utf8->c_str());
    const std::string answerPath = ctx.workFolder + kPeopleAnswerFile;
    HeaderTable table;
    std::string json;
    std::optional<std::vector<Person>> people;
    if (ctx.saori.SaoriRequest(2, question.c_str(), kPeopleAnswerFile, "", table) == 0 &&
        ReadSmallFile(answerPath, kMaxSourceAnswerBytes, json)) {
        people = ParsePeople(json);
    }
    DeleteRunFile(answerPath);
    return people.value_or(std::vector<Person>{});
}

}  // namespace norvo
