#pragma once

#include <cstdint>

namespace halvaris::decode_tool {

// Converts a packed 4:2:2 picture (Y0 Cb Y1 Cr, pitch 2 x width) to 8-bit RGB (3 bytes a pixel,
// pitch 3 x width) with the BT.709 matrix for limited-range video (Y 16..235, Cb/Cr 16..240),
// rounded to nearest and clipped. Chroma is sited with the even pixels; the odd pixels take the
// mean of their two neighbours' chroma, so colour edges are not stretched by a pixel.
void ConvertYuy2ToRgb(const std::uint8_t* yuy2, int width, int height, std::uint8_t* rgb);

// Resamples RGB lines from `width` to `outputWidth` pixels (heights unchanged) by linear
// interpolation between pixel centres; used to show pictures at their display aspect ratio.
void ScaleRgbLines(const std::uint8_t* rgb, int width, int height, std::uint8_t* output,
                   int outputWidth);

}  // namespace halvaris::decode_tool
