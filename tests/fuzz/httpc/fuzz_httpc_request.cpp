// The httpc module's request reader and the answer it builds from cut texts, without network:
// the first argument doubles as the body the markers are cut from.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "modules/httpc/FileName.h"
#include "modules/httpc/MarkerTexts.h"
#include "modules/httpc/ModuleAnswer.h"
#include "modules/httpc/ModuleRequest.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    norvo::ModuleRequest request;
    if (norvo::ParseModuleRequest(text, request) != norvo::RequestStatus::Ok) {
        Check(request.arguments.empty());
        return 0;
    }
    const auto& args = request.arguments;
    Check(args.size() <= norvo::kMaxRequestArguments);
    if (args.size() >= 2 && norvo::CheckFileName(args[1]) == norvo::FileNameStatus::Ok) {
        Check(args[1].find('/') == std::string::npos && args[1] != "." && args[1] != "..");
    }
    if (args.size() != 3) {
        return 0;
    }
    const auto texts = norvo::CutMarkerTexts(args[0], args[1], args[2]);
    Check(texts.size() <= norvo::kMaxMarkerTexts);
    norvo::ModuleAnswer answer(200, "OK");
    for (const auto& t : texts) {
        Check(t.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        Check(t.find(": ") == std::string::npos);
        answer.AddHeader("Result", t);
    }
    // Each text must come back as one whole header line of the answer.
    const std::string composed = answer.Compose();
    size_t pos = composed.find("\r\n") + 2;
    for (const auto& t : texts) {
        const size_t end = composed.find("\r\n", pos);
        Check(composed.substr(pos, end - pos) == "Result: " + t);
        pos = end + 2;
    }
    Check(composed.substr(pos) == "\r\n");
    return 0;
}
