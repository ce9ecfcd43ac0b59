#pragma once
// The nine viewer settings; the member initialisers are the defaults of a
// first start. Values are never range-checked: odd numbers travel unchanged,
// so the choices are named ints rather than enums that would have to map them.

namespace pelumir {

namespace SortType {
inline constexpr int Registration = 0;
inline constexpr int Reverse = 1;
inline constexpr int Random = 2;  // any other value plays in registration order
}  // namespace SortType

namespace RightClick {
inline constexpr int PreviousImage = 0;
inline constexpr int RotateClockwise = 1;  // any other value does nothing
}  // namespace RightClick

namespace InfoShow {
inline constexpr int AllTheTime = 0;
inline constexpr int ForInfoTime = 1;  // any other value never shows the box
// Whether the box appears at all for this setting.
constexpr bool Shown(int imageInfoShow) { return imageInfoShow == AllTheTime || imageInfoShow == ForInfoTime; }
}  // namespace InfoShow

namespace InfoType {
inline constexpr int Position = 0;  // any value but FilePath shows position and count
inline constexpr int FilePath = 1;
}  // namespace InfoType

struct TViewerConfig {
    bool LoopMode = true;
    int ImageSortType = SortType::Registration;
    int RightClickMode = RightClick::PreviousImage;
    bool AutoSlideEnabled = false;
    int AutoSlideTime = 3;  // seconds
    int ImageInfoShow = InfoShow::ForInfoTime;
    int ImageInfoType = InfoType::Position;
    int ImageInfoTime = 1;      // seconds
    int ImageInfoFontSize = 9;  // points
    // Settings of our own (see ExtraSettings).
    bool AutoOrientation = true;  // photos shown as their EXIF orientation says
    bool MoreFormats = false;     // formats beyond JPEG and BMP
    bool ColourManagement = true; // pictures in the screen's colours, as their profiles say

    bool operator==(const TViewerConfig&) const = default;
};

// The defaults, for readers that need one value where a setting is missing or unreadable.
inline constexpr TViewerConfig DefaultViewerConfig{};

}  // namespace pelumir
