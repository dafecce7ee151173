#include "web/ImageSearch.h"

#include <cstdlib>

#include "web/FaceDetection.h"
#include "web/TextEncoding.h"

namespace norvo {

namespace {

// Candidate headers in the order they are tried (and win ties).
constexpr const char* kCandidateHeaders[] = {"Result", "Value0", "Value1", "Value2"};

}  // namespace

std::optional<std::string> BuildSearchAddress(const std::string& searchBase, const char* name,
                                              const std::string& person) {
    const std::optional<std::string> utf8 = LocaleTextToUtf8(name);
    if (!utf8) {
        return std::nullopt;
    }
    std::string address = searchBase + kSearchQuery + PercentEncode(utf8->c_str()) + kSearchVersion;
    if (!person.empty()) {
        address += kSearchPerson + PercentEncode(person.c_str());
    }
    return address;
}

std::optional<SearchOutcome> SearchPicture(LookupContext& ctx, const char* name,
                                           const std::string& person) {
    const std::optional<std::string> query = BuildSearchAddress(ctx.searchBase, name, person);
    if (!query) {
        ctx.report.Failed(SearchMessageText(kEncodeFailedText));
        return std::nullopt;
    }
    HeaderTable table;
    const int request =
        ctx.saori.SaoriRequest(3, query->c_str(), kSearchStartMarker, kSearchEndMarker, table);
    if (request != 0) {
        ctx.report.Failed(SearchMessageText(SaoriRequestFailureText(request)));
        return std::nullopt;
    }
    ctx.report.SearchAnswered();

    // A later candidate is chosen only with a strictly larger face than the ones before.
    SearchOutcome outcome;
    int64_t bestArea = 0;
    bool anyRead = false;
    for (int i = 0; i < 4; ++i) {
        const std::string candidate = table[kCandidateHeaders[i]];
        std::optional<DetectedFaces> faces = LocateFaces(ctx, candidate);
        anyRead = anyRead || faces;
        if (faces && FaceArea(faces->box) > 0) {
            const int64_t area = FaceArea(faces->box);
            if (area > bestArea) {
                bestArea = area;
                outcome.chosen = outcome.pictures.size();
            }
            outcome.pictures.push_back({candidate, faces->box, std::move(faces->list)});
        }
        ctx.report.CandidateExamined(i);
    }

    const std::string typed = name != nullptr ? name : "";
    if (!anyRead) {
        ctx.report.Failed(NoDetectionText(typed));
        return std::nullopt;
    }
    if (outcome.pictures.empty()) {
        ctx.report.Failed(NoFaceText(typed));
        return std::nullopt;
    }
    return outcome;
}

}  // namespace norvo
