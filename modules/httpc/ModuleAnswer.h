#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norvo {

// One SAORI answer: status line "SAORI/1.0 <code> <reason>", "Name: value" headers in the
// order added, then an empty line; every line ends in CR LF.
class ModuleAnswer {
public:
    ModuleAnswer(int code, std::string reason);

    // 200 OK with "Result: <result>".
    static ModuleAnswer Success(std::string_view result);
    // 400 Bad Request with "Result: 0" and "Reason: <reason>".
    static ModuleAnswer BadRequest(std::string_view reason);
    // 500 Internal Server Error with "Result: 0" and "Reason: <reason>".
    static ModuleAnswer Failure(std::string_view reason);

    // Appends a header. CR, LF and NUL in name or value are replaced by spaces so that no
    // value can start a line of its own or cut the answer short for the host.
    void AddHeader(std::string_view name, std::string_view value);

    int code() const { return m_code; }
    // Value of the first header called `name`, or "" when there is none.
    std::string header(std::string_view name) const;
    const std::vector<std::pair<std::string, std::string>>& headers() const { return m_headers; }

    // The answer text as the host reads it.
    std::string Compose() const;

private:
    int m_code;
    std::string m_reason;
    std::vector<std::pair<std::string, std::string>> m_headers;
};

}  // namespace norvo
