#pragma once

#include <cstddef>
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

}  // namespace norvo
