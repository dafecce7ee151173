#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace norvo {

// The answer has room for four texts: Result, Value0, Value1, Value2.
inline constexpr std::size_t kMaxMarkerTexts = 4;

// Texts between `start` and the next `end`, searching on after each end marker, in body order,
// at most kMaxMarkerTexts. A text the host could not carry intact is skipped and the next one
// moves up: CR or LF would start a header of its own, NUL would end the whole answer early,
// and ": " would make the host keep only the part before it (a silently shortened address).
// Empty markers find nothing.
std::vector<std::string> CutMarkerTexts(std::string_view body, std::string_view start,
                                        std::string_view end);

}  // namespace norvo
