#include "web/FaceDetection.h"

#include <cctype>
#include <cstdint>
#include <limits>

#include "web/ImageDownload.h"
#include "xml/XmlDocument.h"

namespace norvo {

namespace {

// atoi's reading (blanks, optional sign, digits up to the first other byte; no digits give 0),
// but out-of-range values saturate instead of being undefined.
int32_t ReadInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        value = std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

// x + width in 32-bit two's complement, as the box fields hold it (wraps, never undefined).
int32_t Wrap32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

}  // namespace

int64_t FaceArea(const FaceBox& box) {
    const int64_t width = int64_t{box.right} - box.left;
    const int64_t height = int64_t{box.bottom} - box.top;
    if (width == 0 || height == 0) {
        return 0;
    }
    // Each side is below 2^32 in size, so the product's size fits 64 unsigned bits.
    const uint64_t w = static_cast<uint64_t>(width < 0 ? -width : width);
    const uint64_t h = static_cast<uint64_t>(height < 0 ? -height : height);
    const uint64_t size = w * h;
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    const int64_t magnitude = static_cast<int64_t>(size > kMax ? kMax : size);
    return ((width < 0) != (height < 0)) ? -magnitude : magnitude;
}

DetectedFaces CollectFaceBoxes(CXmlDocument& document) {
    DetectedFaces faces;
    document.Rewind();
    while (document.Next()) {
        if (document.GetName() != "bounds") {
            continue;
        }
        const int32_t x = ReadInt(document.GetAttribute("x"));
        const int32_t y = ReadInt(document.GetAttribute("y"));
        const int32_t width = ReadInt(document.GetAttribute("width"));
        const int32_t height = ReadInt(document.GetAttribute("height"));
        const FaceBox found{x, y, Wrap32(int64_t{x} + width), Wrap32(int64_t{y} + height)};
        faces.list.push_back(found);
        if (FaceArea(found) > 0) {
            faces.box = found;
        }
    }
    return faces;
}

FaceAnswer ReadFaceAnswer(const std::string& path) {
    CXmlDocument document;
    FaceAnswer answer;
    answer.result = document.Load(path.c_str());
    if (answer.result == XML_OK) {
        answer.faces = CollectFaceBoxes(document);
    }
    return answer;
}

std::optional<DetectedFaces> LocateFaces(LookupContext& ctx, const std::string& url) {
    const std::string address = ctx.detectBase + kDetectQuery + url;
    const std::string answerPath = ctx.workFolder + kDetectAnswerFile;
    HeaderTable table;
    const int request = ctx.saori.SaoriRequest(2, address.c_str(), kDetectAnswerFile, "", table);
    if (request != 0) {
        ctx.report.RequestFailed();
        DeleteRunFile(answerPath);
        return std::nullopt;
    }
    FaceAnswer answer = ReadFaceAnswer(answerPath);
    DeleteRunFile(answerPath);
    if (answer.result != XML_OK) {
        return std::nullopt;
    }
    return std::move(answer.faces);
}

}  // namespace norvo
