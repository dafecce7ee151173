#include "web/ImageSearch.h"

#include <cstdlib>

#include "web/FaceDetection.h"
#include "web/TextEncoding.h"

namespace norvo {

namespace {

// Candidate headers in the order they are tried (and win ties).
constexpr const char* kCandidateHeaders[] = {"Result", "Value0", "Value1", "Value2"};

void Fail(LookupContext& ctx, const std::string& text) {
    ctx.view.SendProgressStep(kProgressHide);
    ctx.view.ShowMessage(text, MessageKind::Warning);
}

}  // namespace

bool BuildSearchAddress(const std::string& searchBase, const char* name, std::string& address) {
    std::string utf8;
    if (!LocaleTextToUtf8(name, utf8)) {
        return false;
    }
    address = searchBase + kSearchQuery + PercentEncode(utf8.c_str()) + kSearchVersion;
    return true;
}

int SearchPicture(LookupContext& ctx, const char* name, std::string& address, FaceBox& box,
                  FaceBoxList& list, int progressBase) {
    std::string query;
    if (!BuildSearchAddress(ctx.searchBase, name, query)) {
        Fail(ctx, SearchMessageText(kEncodeFailedText));
        return 1;
    }
    HeaderTable table;
    const int request =
        ctx.saori.SaoriRequest(3, query.c_str(), kSearchStartMarker, kSearchEndMarker, table);
    if (request != 0) {
        Fail(ctx, SearchMessageText(SaoriRequestFailureText(request)));
        return 1;
    }
    ctx.view.SendProgressStep(progressBase + 2);

    // Candidate 0 goes straight into the out arguments; later ones replace it only with a
    // strictly larger face.
    address = table[kCandidateHeaders[0]];
    box = FaceBox{};
    bool anyRead = LocateFaces(ctx, address, box, list) == 0;
    int64_t bestArea = FaceArea(box);
    ctx.view.SendProgressStep(progressBase + 3);

    for (int i = 1; i < 4; ++i) {
        const std::string candidate = table[kCandidateHeaders[i]];
        FaceBox candidateBox;
        FaceBoxList candidateList;
        const bool read = LocateFaces(ctx, candidate, candidateBox, candidateList) == 0;
        anyRead = anyRead || read;
        const int64_t area = FaceArea(candidateBox);
        if (area > bestArea) {
            bestArea = area;
            address = candidate;
            box = candidateBox;
            list = std::move(candidateList);
        }
        ctx.view.SendProgressStep(progressBase + 3 + i);
    }

    const std::string typed = name != nullptr ? name : "";
    if (!anyRead) {
        Fail(ctx, NoDetectionText(typed));
        return 1;
    }
    if (bestArea <= 0) {
        Fail(ctx, NoFaceText(typed));
        return 1;
    }
    return 0;
}

}  // namespace norvo
