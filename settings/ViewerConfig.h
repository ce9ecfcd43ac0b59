#pragma once
// The nine viewer settings; the member initialisers are the defaults of a
// first start. Values are never range-checked: odd numbers travel unchanged.

namespace pelumir {

struct TViewerConfig {
    bool LoopMode = true;
    int ImageSortType = 0;       // 0 registration order, 1 reverse, 2 random
    int RightClickMode = 0;      // 0 previous image, 1 rotate clockwise
    bool AutoSlideEnabled = false;
    int AutoSlideTime = 3;       // seconds
    int ImageInfoShow = 1;       // 0 always, 1 for ImageInfoTime seconds, other never
    int ImageInfoType = 0;       // 1 file path, other position and count
    int ImageInfoTime = 1;       // seconds
    int ImageInfoFontSize = 9;   // points

    bool operator==(const TViewerConfig&) const = default;
};

}  // namespace pelumir
