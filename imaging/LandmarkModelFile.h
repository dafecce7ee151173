#pragma once

// Reading dlib's serialized 68-point shape model quickly.

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/ShapeModel.h"

namespace norvo {

// Model files larger than this are refused unread: the 68-point model is 100 MB.
inline constexpr std::uintmax_t kMaxShapeModelBytes = 400u << 20;

// Reads a 68-point shape model from `path` into `out`. dlib's own reader takes 1.5 s on this
// model, a generic stream read per number; this one decodes the same format from one buffer
// in a fraction of that. Every count and index is checked, so a damaged file is refused
// rather than read past. False when the file cannot be read, is too large, is not in dlib's
// binary format or not a 68-point model.
bool ReadShapeModel(const std::string& path, ShapeModel& out);

// As ReadShapeModel, from bytes in memory.
bool ReadShapeModelBytes(const unsigned char* data, std::size_t size, ShapeModel& out);

}  // namespace norvo
