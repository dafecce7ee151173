#include "web/ImageSearch.h"

#include <cstdlib>

#include "web/FaceDetection.h"
#include "web/TextEncoding.h"

namespace norvo {

namespace {

// Candidate headers in the order they are tried (and win ties).
constexpr const char* kCandidateHeaders[] = {"Result", "Value0", "Value1", "Value2"};

}  // namespace

std::optional<std::string> BuildSearchAddress(const std::string& searchBase, const char* name) {
    const std::optional<std::string> utf8 = LocaleTextToUtf8(name);
    if (!utf8) {
        return std::nullopt;
    }
    return searchBase + kSearchQuery + PercentEncode(utf8->c_str()) + kSearchVersion;
}

std::optional<FoundPicture> SearchPicture(LookupContext& ctx, const char* name) {
    const std::optional<std::string> query = BuildSearchAddress(ctx.searchBase, name);
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

    // Candidate 0 is kept even without a face (its box is then empty); a later one replaces
    // it only with a strictly larger face.
    FoundPicture best;
    int64_t bestArea = 0;
    bool anyRead = false;
    for (int i = 0; i < 4; ++i) {
        const std::string candidate = table[kCandidateHeaders[i]];
        const std::optional<DetectedFaces> faces = LocateFaces(ctx, candidate);
        anyRead = anyRead || faces;
        if (i == 0) {
            best.address = candidate;
            if (faces) {
                best.box = faces->box;
                best.list = faces->list;
            }
            bestArea = FaceArea(best.box);
        } else if (faces && FaceArea(faces->box) > bestArea) {
            bestArea = FaceArea(faces->box);
            best = {candidate, faces->box, faces->list};
        }
        ctx.report.CandidateExamined(i);
    }

    const std::string typed = name != nullptr ? name : "";
    if (!anyRead) {
        ctx.report.Failed(NoDetectionText(typed));
        return std::nullopt;
    }
    if (bestArea <= 0) {
        ctx.report.Failed(NoFaceText(typed));
        return std::nullopt;
    }
    return best;
}

}  // namespace norvo
