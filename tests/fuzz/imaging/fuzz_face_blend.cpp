// BlendFaces on small pictures with arbitrary boxes, huge ones included. Where every box is
// small enough to walk pixel by pixel, the result must equal the plain walk.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/FaceBlend.h"
#include "imaging/Picture.h"
#include "tests/imaging/ReferenceBlend.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    uint8_t Byte() {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++;
    }
    int32_t Int() {
        // Mostly small coordinates, sometimes anything at all.
        const uint8_t kind = Byte();
        if (kind & 0x80) {
            uint32_t v = 0;
            for (int i = 0; i < 4; ++i) {
                v = v << 8 | Byte();
            }
            return static_cast<int32_t>(v);
        }
        return static_cast<int32_t>(kind) - 48;
    }
};

norvo::PictureHandle Make(Reader& in) {
    const int32_t w = 1 + in.Byte() % 24;
    const int32_t h = 1 + in.Byte() % 24;
    norvo::PictureHandle p = norvo::CreatePicture(w, h);
    const uint8_t seed = in.Byte();
    const norvo::PictureDescription* d = norvo::DescribePicture(p);
    for (uint32_t i = 0; i < d->header->biSizeImage; ++i) {
        d->bits[i] = static_cast<uint8_t>(seed + i * 37 + (i >> 5) * 11);
    }
    return p;
}

bool Small(const norvo::FaceBox& b) {
    auto ok = [](int32_t v) { return v > -200 && v < 200; };
    return ok(b.left) && ok(b.top) && ok(b.right) && ok(b.bottom);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const uint8_t flags = in.Byte();
    norvo::PictureHandle body = Make(in);
    norvo::PictureHandle face = Make(in);
    norvo::PictureHandle mask = Make(in);
    const norvo::FaceBox faceBox{in.Int(), in.Int(), in.Int(), in.Int()};
    norvo::FaceBoxList boxes(in.Byte() % 5);
    bool walkable = true;
    for (norvo::FaceBox& b : boxes) {
        b = {in.Int(), in.Int(), in.Int(), in.Int()};
        walkable = walkable && Small(b);
    }
    const bool selfFace = flags & 1;
    norvo::PictureHandle source = selfFace ? body : face;

    const norvo::PictureDescription* d = norvo::DescribePicture(body);
    const std::vector<uint8_t> before(d->bits, d->bits + d->header->biSizeImage);
    norvo::BlendFaces(body, boxes, source, faceBox, mask);
    if (walkable) {
        const int32_t w = d->header->biWidth, h = d->header->biHeight;
        norvo::PictureHandle expected = norvo::CreatePicture(w, h);
        std::memcpy(norvo::DescribePicture(expected)->bits, before.data(), before.size());
        norvo::testing::ReferenceBlend(expected, boxes, selfFace ? expected : face, faceBox, mask);
        if (std::memcmp(norvo::DescribePicture(expected)->bits, d->bits, before.size()) != 0) {
            __builtin_trap();
        }
        norvo::ReleasePicture(expected);
    }
    norvo::ReleasePicture(body);
    norvo::ReleasePicture(face);
    norvo::ReleasePicture(mask);
    return 0;
}
