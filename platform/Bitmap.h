#pragma once
// Our device-independent bitmap: top-down rows padded to 32 bits, a palette
// for the indexed layouts and colour masks for 16 and 32 bits per pixel.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelumir {

enum class PixelFormat { Device, Bit1, Bit4, Bit8, Bit15, Bit16, Bit24, Bit32, Custom };

struct ColorMasks {
    uint32_t red = 0, green = 0, blue = 0;
    bool operator==(const ColorMasks&) const = default;
};

// No bitmap may need more than this many bytes of pixels; larger claims fail
// cleanly instead of exhausting the machine.
inline constexpr uint64_t kMaxBitmapBytes = uint64_t(1) << 30;

class Bitmap {
public:
    enum class Init { Zero, Uninitialised };

    Bitmap() = default;
    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap& other);
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    ~Bitmap();

    // Sets size and layout. The pixel storage is reused when the new image
    // fits in it: touching fresh pages of a large buffer costs more than
    // decoding into warm ones. Throws EOutOfResources past kMaxBitmapBytes,
    // EInvalidGraphic for a negative size. Palette and masks are kept.
    void Allocate(int width, int height, int bitsPerPixel, Init init = Init::Zero);
    // Empties the bitmap; keeps the storage for the next Allocate.
    void Clear();
    // Gives the storage back to the system.
    void Release();
    // Rows in memory the bitmap does not own, such as a frame shared with
    // another process: used while a layout fits in it, never freed here.
    // The bitmap is empty afterwards.
    void Borrow(uint8_t* data, size_t bytes);
    // Takes over a whole mapping made by mmap, unmapped when let go; the
    // bitmap is empty afterwards.
    void AdoptMapping(uint8_t* data, size_t bytes);
    // Whether the rows live in memory given by Borrow.
    bool Borrowed() const { return storage_ == Storage::Borrowed; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    size_t Stride() const { return stride_; }
    size_t ByteSize() const { return stride_ * size_t(height_); }

    // The layout as a device-independent bitmap classifies it.
    PixelFormat Format() const;
    // 16 bits without masks is the 5-5-5 layout; masks with green 0x07E0 the
    // 5-6-5 layout; any other masks make the layout custom.
    const ColorMasks& Masks() const { return masks_; }
    void SetMasks(const ColorMasks& masks) { masks_ = masks; }
    // A device bitmap holds the display's own form; only conversions read it.
    bool IsDevice() const { return device_; }
    void SetDevice(bool device) { device_ = device; }

    // Entries 0x00RRGGBB, the order of a DIB colour table.
    std::vector<uint32_t>& Palette() { return palette_; }
    const std::vector<uint32_t>& Palette() const { return palette_; }

    uint8_t* Row(int y) { return data_ + size_t(y) * stride_; }
    const uint8_t* Row(int y) const { return data_ + size_t(y) * stride_; }
    uint8_t* Bits() { return data_; }
    const uint8_t* Bits() const { return data_; }

    static size_t StrideFor(int width, int bitsPerPixel);
    // Throws as Allocate does for a size no bitmap may have.
    static void CheckSize(int width, int height, int bitsPerPixel);

private:
    enum class Storage : uint8_t { Heap, Borrowed, Mapped };
    void Reserve(size_t bytes, Init init);
    void FreeStorage();
    // Rows in memory from elsewhere, the bitmap empty.
    void UseStorage(uint8_t* data, size_t bytes, Storage storage);

    uint8_t* data_ = nullptr;
    Storage storage_ = Storage::Heap;
    size_t capacity_ = 0;
    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 32;
    size_t stride_ = 0;
    bool device_ = false;
    ColorMasks masks_;
    std::vector<uint32_t> palette_;
};

}  // namespace pelumir
