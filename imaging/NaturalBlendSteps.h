#pragma once

// The steps of the natural blend on OpenCV matrices, for the blend itself and its tests.
// Colour pictures are 3-channel BGR; float ones hold 0..255.

#include <vector>

#include <opencv2/core.hpp>

namespace norvo::natural {

// The similarity (rotation, uniform scale, shift) that takes the eye centres `fromLeft` and
// `fromRight` onto `toLeft` and `toRight`, as the 2x3 matrix warpAffine takes.
cv::Matx23d EyeAlignment(cv::Point2d fromLeft, cv::Point2d fromRight, cv::Point2d toLeft,
                         cv::Point2d toRight);

// Mask weights (CV_32F, 0..1) over `size`: 0 outside the intersection of the two convex
// polygons, rising smoothly to 1 at `ramp` pixels inside its edge.
cv::Mat FaceWeights(cv::Size size, const std::vector<cv::Point2f>& hullA,
                    const std::vector<cv::Point2f>& hullB, double ramp);

// `face` (CV_32FC3) with the CIE Lab mean and deviation it has inside `region` (CV_8U,
// non-zero inside) moved to those `body` has there. The a* and b* deviation ratios are held
// to 0.8..1.25: wider, and lips and shadows turn magenta or green.
cv::Mat TransferLabColour(const cv::Mat& face, const cv::Mat& body, const cv::Mat& region);

// The ratio of `numerator` to `denominator` (CV_32FC3), each blurred with a Gaussian of
// `sigma` over `region` only (CV_8U, non-zero inside); 1 far from the region, and held to
// 1/3..3.
cv::Mat BlurredRatio(const cv::Mat& numerator, const cv::Mat& denominator, const cv::Mat& region,
                     double sigma);

// `face` (CV_32FC3) multiplied by the ratio of `body` to `face`, each blurred with a Gaussian
// of `sigma` over `region` only: lighting that varies across the face follows the body's.
cv::Mat MatchBlurredColour(const cv::Mat& face, const cv::Mat& body, const cv::Mat& region,
                           double sigma);

// `body` (CV_8UC3) with `face` (CV_8UC3, same size) pasted in the gradient domain inside
// `inside` (CV_8U, 255 inside): the face's gradients, the body's values at the edge.
cv::Mat SeamlessPaste(const cv::Mat& face, const cv::Mat& body, const cv::Mat& inside);

}  // namespace norvo::natural
