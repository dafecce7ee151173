#include "imaging/PortraitLabel.h"

#include <exiv2/exiv2.hpp>

#include <mutex>

#include "base/WideText.h"

namespace norvo {

namespace {

std::string JoinLines(const std::vector<std::string>& lines, const char* separator) {
    std::string out;
    for (const std::string& line : lines) {
        if (!out.empty()) {
            out += separator;
        }
        out += line;
    }
    return out;
}

// A language alternative with one default entry, as dc:description and dc:rights are.
void SetLangAlt(Exiv2::XmpData& xmp, const char* key, const std::string& text) {
    Exiv2::LangAltValue value;
    value.read("lang=x-default " + text);
    xmp.add(Exiv2::XmpKey(key), &value);
}

}  // namespace

const char* describe(LabelStatus status) {
    switch (status) {
        case LabelStatus::Written:
            return "the label was written";
        case LabelStatus::Unreadable:
            return "the picture file could not be read as a JPEG picture";
        case LabelStatus::WriteFailed:
            return "the label could not be written into the picture file";
    }
    return "unknown label status";
}

LabelStatus WritePortraitLabel(const std::string& path, const PortraitLabel& label) {
    // The XMP toolkit's set-up is not thread-safe; portraits are saved from the run thread.
    static std::once_flag xmpReady;
    std::call_once(xmpReady, [] { Exiv2::XmpParser::initialize(); });
    Exiv2::Image::AutoPtr image;
    try {
#ifdef _WIN32
        // Exiv2's narrow paths are in the ANSI code page on Windows; ours are UTF-8.
        image = Exiv2::ImageFactory::open(win::ToWide(path), false);
#else
        image = Exiv2::ImageFactory::open(path, false);
#endif
        if (image.get() == nullptr || image->imageType() != Exiv2::ImageType::jpeg) {
            return LabelStatus::Unreadable;
        }
        image->readMetadata();
    } catch (const Exiv2::AnyError&) {
        return LabelStatus::Unreadable;
    }
    try {
        Exiv2::XmpData& xmp = image->xmpData();
        // Exiv2 names the IPTC extension's namespace (Iptc4xmpExt) "iptcExt".
        xmp["Xmp.iptcExt.DigitalSourceType"] = kCompositeSourceType;
        SetLangAlt(xmp, "Xmp.dc.description", label.description);
        const std::string credits = JoinLines(label.credits, "\n");
        if (!credits.empty()) {
            SetLangAlt(xmp, "Xmp.dc.rights", credits);
            xmp["Xmp.photoshop.Credit"] = credits;
        }
        const std::string licences = JoinLines(label.licences, "\n");
        if (!licences.empty()) {
            SetLangAlt(xmp, "Xmp.xmpRights.UsageTerms", licences);
        }
        xmp["Xmp.xmp.CreatorTool"] = label.creatorTool;

        Exiv2::ExifData& exif = image->exifData();
        exif["Exif.Image.ImageDescription"] = label.description;
        if (!credits.empty()) {
            exif["Exif.Image.Copyright"] = JoinLines(label.credits, "; ");
        }
        exif["Exif.Image.Software"] = label.creatorTool;
        image->writeMetadata();
    } catch (const Exiv2::AnyError&) {
        return LabelStatus::WriteFailed;
    }
    return LabelStatus::Written;
}

}  // namespace norvo
