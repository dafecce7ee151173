#pragma once

// The 68 face landmarks in the iBUG 300-W order the shape model uses: jaw 0-16, brows 17-26,
// nose 27-35, eyes 36-47, mouth 48-67.

#include <array>
#include <cmath>
#include <cstddef>

namespace norvo {

struct LandmarkPoint {
    double x = 0;
    double y = 0;
};

inline constexpr std::size_t kLandmarkCount = 68;

// First and one-past-last index of each part.
inline constexpr std::size_t kJawFirst = 0, kJawEnd = 17;
inline constexpr std::size_t kBrowsFirst = 17, kBrowsEnd = 27;
inline constexpr std::size_t kNoseFirst = 27, kNoseEnd = 36;
inline constexpr std::size_t kNostrilsFirst = 31, kNostrilsEnd = 36;
inline constexpr std::size_t kLeftEyeFirst = 36, kLeftEyeEnd = 42;  // the eye on the picture's left
inline constexpr std::size_t kRightEyeFirst = 42, kRightEyeEnd = 48;
inline constexpr std::size_t kMouthFirst = 48, kMouthEnd = 68;

// One face's landmarks in its picture's pixels, top-left origin, pixel centres at whole numbers.
struct FaceLandmarks {
    std::array<LandmarkPoint, kLandmarkCount> points{};

    // Mean of points [first, end).
    LandmarkPoint Centre(std::size_t first, std::size_t end) const {
        LandmarkPoint c;
        for (std::size_t i = first; i < end; ++i) {
            c.x += points[i].x;
            c.y += points[i].y;
        }
        const double n = static_cast<double>(end - first);
        return {c.x / n, c.y / n};
    }
    LandmarkPoint LeftEye() const { return Centre(kLeftEyeFirst, kLeftEyeEnd); }
    LandmarkPoint RightEye() const { return Centre(kRightEyeFirst, kRightEyeEnd); }
    double EyeDistance() const {
        const LandmarkPoint l = LeftEye();
        const LandmarkPoint r = RightEye();
        return std::hypot(r.x - l.x, r.y - l.y);
    }
    // Angle of the line from the left to the right eye, in degrees (clockwise on screen).
    double EyeLineDegrees() const {
        const LandmarkPoint l = LeftEye();
        const LandmarkPoint r = RightEye();
        return std::atan2(r.y - l.y, r.x - l.x) * 180.0 / 3.14159265358979323846;
    }
};

}  // namespace norvo
