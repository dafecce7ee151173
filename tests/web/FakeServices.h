#pragma once

// Answers the test SAORI module's requests the way the real module and services would: the
// connection check, the image search (by query address), the face detection (writes the
// answer file) and downloads (write the picture file), all from tables a test fills in.

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "TestModuleControl.h"

namespace norvo::testing {

inline constexpr char kOkAnswer[] = "SAORI/1.0 200 OK\r\n\r\n";
inline constexpr char kNotFoundAnswer[] = "SAORI/1.0 404 Not Found\r\n\r\n";

// The arguments of one request text ("" for those not sent).
struct RequestArgs {
    int count = 0;
    std::string arg[3];
};

inline RequestArgs ParseRequest(const std::string& request) {
    RequestArgs out;
    size_t pos = 0;
    while (pos < request.size()) {
        size_t end = request.find("\r\n", pos);
        if (end == std::string::npos) {
            end = request.size();
        }
        const std::string line = request.substr(pos, end - pos);
        for (int i = 0; i < 3; ++i) {
            const std::string prefix = "Argument" + std::to_string(i) + ": ";
            if (line.rfind(prefix, 0) == 0) {
                out.arg[i] = line.substr(prefix.size());
                out.count = std::max(out.count, i + 1);
            }
        }
        pos = end + 2;
    }
    return out;
}

// A search answer with up to four candidates in the headers the run reads.
inline std::string SearchAnswer(const std::vector<std::string>& candidates) {
    static const char* names[] = {"Result", "Value0", "Value1", "Value2"};
    std::string answer = "SAORI/1.0 200 OK\r\n";
    for (size_t i = 0; i < candidates.size() && i < 4; ++i) {
        answer += std::string(names[i]) + ": " + candidates[i] + "\r\n";
    }
    return answer + "\r\n";
}

// A detection answer with one bounds element per box {x, y, width, height}. Each element
// closes with an end tag, which the reader lists as a second, all-zero bounds.
inline std::string DetectionXml(const std::vector<std::vector<int>>& boxes) {
    std::string xml = "<?xml version='1.0'?>\n<faces>\n";
    for (const auto& b : boxes) {
        xml += "<bounds x='" + std::to_string(b[0]) + "' y='" + std::to_string(b[1]) + "' width='" +
               std::to_string(b[2]) + "' height='" + std::to_string(b[3]) + "'></bounds>\n";
    }
    return xml + "</faces>\n";
}

struct FakeServices {
    std::string searchBase = "http://search.test";
    std::string detectBase = "http://detect.test";

    std::string connectionAnswer = "SAORI/1.0 200 OK\r\nResult: 1\r\n\r\n";
    // Search answers by the whole query address; a missing address answers 404.
    std::map<std::string, std::string> searches;
    // Detection answer files by picture address; a missing address answers 404.
    std::map<std::string, std::string> detections;
    // Answers to the service's other questions (credits, people: JSON) by the whole question
    // address; a missing one answers 404, as a service without the question does.
    std::map<std::string, std::string> sources;
    // Picture bytes by address; a missing address answers 404 after writing a partial file.
    std::map<std::string, std::string> downloads;

    std::string Answer(const std::string& request, const std::string& dir) const {
        const RequestArgs a = ParseRequest(request);
        if (a.count == 0) {
            return connectionAnswer;
        }
        if (a.count == 3) {
            auto it = searches.find(a.arg[0]);
            return it != searches.end() ? it->second : kNotFoundAnswer;
        }
        const std::string detectPrefix = detectBase + "/api/detect?m=1&f=2&url=";
        if (a.arg[0].rfind(detectPrefix, 0) == 0) {
            auto it = detections.find(a.arg[0].substr(detectPrefix.size()));
            if (it == detections.end()) {
                return kNotFoundAnswer;
            }
            Write(dir + a.arg[1], it->second);
            return kOkAnswer;
        }
        if (a.arg[0].rfind(detectBase + "/api/source?url=", 0) == 0 ||
            a.arg[0].rfind(detectBase + "/api/people?q=", 0) == 0) {
            auto it = sources.find(a.arg[0]);
            if (it == sources.end()) {
                return kNotFoundAnswer;
            }
            Write(dir + a.arg[1], it->second);
            return kOkAnswer;
        }
        auto it = downloads.find(a.arg[0]);
        if (it == downloads.end()) {
            Write(dir + a.arg[1], "partial");
            return kNotFoundAnswer;
        }
        Write(dir + a.arg[1], it->second);
        return kOkAnswer;
    }

    // Routes the module's requests here; the object must outlive the module's use.
    void Attach(TestModule& module) const {
        module.SetAnswerFn([this](const std::string& request, const std::string& dir) {
            return std::optional<std::string>(Answer(request, dir));
        });
    }

    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

}  // namespace norvo::testing
