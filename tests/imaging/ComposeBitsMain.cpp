// Composes a portrait from given PNG pictures, saves and labels it, and prints what must be the
// same on every system: the portrait's size and bits before encoding, and the label's XMP and
// EXIF segments as written into the file. Built in the Linux and the Windows tree; a test
// compares the two outputs (tests/imaging/CompareComposeBits.cmake).
//   compose_bits BODY FACE MASK OUTPUT.jpg

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/FaceCompositor.h"
#include "imaging/PortraitLabel.h"
#include "tests/imaging/TestPictures.h"

namespace {

uint64_t Fnv1a(const uint8_t* data, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 0x100000001b3ull;
    }
    return hash;
}

// The body of the first APP1 segment of `jpeg` whose body starts with `signature`.
std::vector<uint8_t> App1(const std::vector<uint8_t>& jpeg, const char* signature) {
    const size_t length = std::strlen(signature);
    for (size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xff;) {
        const uint8_t marker = jpeg[i + 1];
        const size_t size = size_t{jpeg[i + 2]} << 8 | jpeg[i + 3];
        if (marker == 0xda || size < 2 || i + 2 + size > jpeg.size()) {
            break;
        }
        const uint8_t* body = jpeg.data() + i + 4;
        if (marker == 0xe1 && size - 2 >= length && std::memcmp(body, signature, length) == 0) {
            return {body, body + size - 2};
        }
        i += 2 + size;
    }
    return {};
}

void PrintSegment(const char* name, const std::vector<uint8_t>& body) {
    std::printf("%s %zu %016" PRIx64 "\n", name, body.size(), Fnv1a(body.data(), body.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: compose_bits BODY FACE MASK OUTPUT.jpg\n");
        return 2;
    }
    using namespace norvo;
    // Two body boxes, one reaching past the picture's edge; the face box inside the face.
    const FaceBoxList bodyBoxes{{90, 120, 330, 420}, {520, 600, 760, 880}};
    const FaceBox faceBox{20, 25, 140, 185};
    FaceCompositor compositor;
    const ComposeStatus status = compositor.Compose(argv[1], bodyBoxes, argv[2], faceBox, argv[3]);
    if (status != ComposeStatus::Ok) {
        std::fprintf(stderr, "compose_bits: %s: %s (%s)\n", describe(status),
                     compositor.failedPath().c_str(), describe(compositor.failedReason()));
        return 1;
    }
    const PictureDescription* portrait = DescribePicture(compositor.body());
    std::printf("portrait %dx%d %016" PRIx64 "\n", portrait->header->biWidth,
                portrait->header->biHeight, Fnv1a(portrait->bits, portrait->header->biSizeImage));

    // The JPEG encoders differ (Qt's libjpeg, WIC); the label written into either is the same.
    if (compositor.Save(argv[4]) != SaveStatus::Saved) {
        std::fprintf(stderr, "compose_bits: cannot save %s\n", argv[4]);
        return 1;
    }
    PortraitLabel label;
    label.description = "A joke portrait made with norvo: 吉田's face on <Ann & \"Bo\">'s picture.";
    label.credits = {"Body picture (Ann): a.jpg — Ann — CC BY 4.0", "Face picture (吉田): b.png"};
    label.licences = {"Body picture: CC BY 4.0"};
    label.creatorTool = "norvo 9.9";
    if (WritePortraitLabel(argv[4], label) != LabelStatus::Written) {
        std::fprintf(stderr, "compose_bits: cannot label %s\n", argv[4]);
        return 1;
    }
    const std::vector<uint8_t> jpeg = testing::ReadBytes(argv[4]);
    PrintSegment("xmp", App1(jpeg, "http://ns.adobe.com/xap/1.0/"));
    PrintSegment("exif", App1(jpeg, "Exif"));
    return 0;
}
