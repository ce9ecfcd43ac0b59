#pragma once
// From what a picture says of its colours and the screen's profile to the
// table that turns one into the other (lcms2 reads the profiles).
#include <cstdint>
#include <memory>
#include <span>

#include "image/ColourSource.h"
#include "viewer/ColourTable.h"

namespace pelumir {

// The table for pictures of `source` on a screen of profile `screen`
// (empty: sRGB); none when no pixel would change: an untagged picture on
// an sRGB screen, a profile the same as the screen's. A profile lcms2
// refuses, or one for other than RGB or grey, counts as sRGB. The last few
// tables are kept, so a folder of photos from one camera builds one.
std::shared_ptr<const ColourTable> ColourTableFor(const ColourSource& source, std::span<const uint8_t> screen);

// Light, 0 for black and 1 for the screen's white, that a coded value 0-1
// of an HDR curve (PQ, HLG) shows at: diffuse white near 0.8, the
// brightest highlights near 1 but never cut off.
double ToneMapped(ColourSource::Transfer transfer, double coded);

}  // namespace pelumir
