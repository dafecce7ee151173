#include "modules/httpc/ModuleAnswer.h"

namespace norvo {

namespace {

std::string Clean(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\0') {
            c = ' ';
        }
    }
    return out;
}

}  // namespace

ModuleAnswer::ModuleAnswer(int code, std::string reason) : m_code(code), m_reason(Clean(reason)) {}

ModuleAnswer ModuleAnswer::Success(std::string_view result) {
    ModuleAnswer answer(200, "OK");
    answer.AddHeader("Result", result);
    return answer;
}

ModuleAnswer ModuleAnswer::BadRequest(std::string_view reason) {
    ModuleAnswer answer(400, "Bad Request");
    answer.AddHeader("Result", "0");
    answer.AddHeader("Reason", reason);
    return answer;
}

ModuleAnswer ModuleAnswer::Failure(std::string_view reason) {
    ModuleAnswer answer(500, "Internal Server Error");
    answer.AddHeader("Result", "0");
    answer.AddHeader("Reason", reason);
    return answer;
}

void ModuleAnswer::AddHeader(std::string_view name, std::string_view value) {
    m_headers.emplace_back(Clean(name), Clean(value));
}

std::string ModuleAnswer::header(std::string_view name) const {
    for (const auto& [n, v] : m_headers) {
        if (n == name) {
            return v;
        }
    }
    return {};
}

std::string ModuleAnswer::Compose() const {
    std::string text = "SAORI/1.0 " + std::to_string(m_code) + " " + m_reason + "\r\n";
    for (const auto& [name, value] : m_headers) {
        text += name;
        text += ": ";
        text += value;
        text += "\r\n";
    }
    text += "\r\n";
    return text;
}

}  // namespace norvo
