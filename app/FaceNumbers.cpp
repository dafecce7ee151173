#include "app/FaceNumbers.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "web/FaceDetection.h"

namespace norvo {

std::vector<std::size_t> FacesLeftToRight(const FaceBoxList& list) {
    std::vector<std::size_t> faces;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (FaceArea(list[i]) > 0) {
            faces.push_back(i);
        }
    }
    // Twice the centre, in 64 bits: no rounding, no overflow.
    auto centre = [&list](std::size_t i, bool across) {
        const FaceBox& b = list[i];
        return across ? int64_t{b.left} + b.right : int64_t{b.top} + b.bottom;
    };
    std::stable_sort(faces.begin(), faces.end(), [&](std::size_t a, std::size_t b) {
        if (centre(a, true) != centre(b, true)) {
            return centre(a, true) < centre(b, true);
        }
        return centre(a, false) < centre(b, false);
    });
    return faces;
}

std::optional<std::vector<std::size_t>> ParseFaceNumbers(std::string_view text) {
    std::vector<std::size_t> numbers;
    while (true) {
        const std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) {
            item.remove_prefix(1);
        }
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) {
            item.remove_suffix(1);
        }
        std::size_t number = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), number);
        if (item.empty() || error != std::errc() || end != item.data() + item.size() ||
            number == 0) {
            return std::nullopt;
        }
        if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) {
            numbers.push_back(number);
        }
        if (comma == std::string_view::npos) {
            return numbers;
        }
        text.remove_prefix(comma + 1);
    }
}

std::optional<FaceBoxList> SelectFaces(const FaceBoxList& list,
                                       const std::vector<std::size_t>& numbers) {
    const std::vector<std::size_t> faces = FacesLeftToRight(list);
    std::vector<bool> keep(list.size(), false);
    for (const std::size_t number : numbers) {
        if (number == 0 || number > faces.size()) {
            return std::nullopt;
        }
        keep[faces[number - 1]] = true;
    }
    FaceBoxList selected;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (keep[i]) {
            selected.push_back(list[i]);
        }
    }
    return selected;
}

}  // namespace norvo
