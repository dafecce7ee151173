#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "imaging/FaceBox.h"

namespace norvo {

// The faces of a body picture as the user numbers them: the boxes with a face, left to right by
// their centres (top to bottom where two share one); each entry an index into `list`.
std::vector<std::size_t> FacesLeftToRight(const FaceBoxList& list);

// Reads a face list such as "1,3" (numbers from 1, separated by commas, blanks around them
// allowed, a number given twice counted once); nullopt for anything else, an empty list too.
std::optional<std::vector<std::size_t>> ParseFaceNumbers(std::string_view text);

// The boxes of `list` whose faces are numbered in `numbers` (FacesLeftToRight), in list order;
// nullopt when a number is beyond the faces the list has.
std::optional<FaceBoxList> SelectFaces(const FaceBoxList& list,
                                       const std::vector<std::size_t>& numbers);

// The face of `faces` under the point (x, y), in the same picture's pixels: the smallest box
// holding it, so a face inside a larger box can still be reached; nullopt when there is none.
// Inline: the windows' own libraries use it without the run.
inline std::optional<std::size_t> FaceAt(const FaceBoxList& faces, double x, double y) {
    std::optional<std::size_t> hit;
    int64_t hitArea = 0;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const FaceBox& box = faces[i];
        const int64_t area = int64_t{box.right - box.left} * (box.bottom - box.top);
        if (x >= box.left && x < box.right && y >= box.top && y < box.bottom &&
            (!hit || area < hitArea)) {
            hit = i;
            hitArea = area;
        }
    }
    return hit;
}

}  // namespace norvo
