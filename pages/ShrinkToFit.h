// Shrinking the screen picture to fit a box, keeping its proportions, by averaging the
// source pixels that fall into each destination pixel.
#pragma once

#include "platform/RgbImage.h"

namespace tarnhollow {

// Changes `image` in place so that it fits `boxWidth` by `boxHeight`; a picture that
// fits already is never enlarged, and a box with a negative side leaves the picture as
// it is unless the other side alone makes it shrink. The scale factors are worked in
// single precision and the new sizes truncated, as the thumbnails of the remote-control
// pages expect; a side that would truncate to 0 is kept at 1 pixel.
void ShrinkToFit(RgbImage& image, int boxWidth, int boxHeight);

}  // namespace tarnhollow
