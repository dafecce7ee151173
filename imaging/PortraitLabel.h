#pragma once

#include <string>
#include <vector>

namespace norvo {

// The IPTC digital source type of a picture composed from several pictures.
inline constexpr char kCompositeSourceType[] =
    "http://cv.iptc.org/newscodes/digitalsourcetype/composite";

// What a saved portrait says about itself; every text is UTF-8.
struct PortraitLabel {
    std::string description;            // one sentence: what the picture is
    std::vector<std::string> credits;   // one line per source picture
    std::vector<std::string> licences;  // one line per source picture whose licence is known
    std::string creatorTool;            // program and version
};

enum class LabelStatus {
    Written,      // the metadata is in the file
    Unreadable,   // the file is missing or not a JPEG picture
    WriteFailed,  // the metadata could not be written into the file
};

const char* describe(LabelStatus status);

// Writes `label` into the JPEG file at `path` as XMP (Iptc4xmpExt:DigitalSourceType composite,
// dc:description, dc:rights and photoshop:Credit with the credit lines, xmpRights:UsageTerms
// with the licences, xmp:CreatorTool) and EXIF (ImageDescription, Copyright, Software). Only
// the metadata segments change: the compressed picture data is kept byte for byte.
LabelStatus WritePortraitLabel(const std::string& path, const PortraitLabel& label);

}  // namespace norvo
