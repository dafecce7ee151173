#pragma once

#include <optional>
#include <string>

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
};

// Reads a credit answer (a JSON object); nullopt when it is not one. Missing fields and fields
// of another type read as ""/false, and texts are cut to kMaxCreditFieldBytes.
std::optional<PictureCredit> ParsePictureCredit(const std::string& json);

// Asks the detection service for the credit of the picture at `address` (an address the
// service handed out in a search answer). When the service cannot tell (an address it never
// handed out, a service without that question, an unreadable answer) the credit holds only the
// address's file name. Shows nothing and leaves no file behind.
PictureCredit LookupPictureCredit(LookupContext& ctx, const std::string& address);

}  // namespace norvo
