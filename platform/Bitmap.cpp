#include "platform/Bitmap.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/Exception.h"
#include "platform/HugePages.h"

namespace pelumir {

void AdviseHugePages(const void* p, size_t bytes) {
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    static const uintptr_t kPage = uintptr_t(sysconf(_SC_PAGESIZE));
    if (bytes < 2 * kHugePage) return;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(p) & ~(kPage - 1);
    madvise(reinterpret_cast<void*>(begin), reinterpret_cast<uintptr_t>(p) + bytes - begin, MADV_HUGEPAGE);
}

Bitmap::Bitmap(const Bitmap& other)
    : width_(0), height_(0), bitsPerPixel_(other.bitsPerPixel_), device_(other.device_),
      masks_(other.masks_), palette_(other.palette_) {
    Allocate(other.width_, other.height_, other.bitsPerPixel_, Init::Uninitialised);
    if (ByteSize() != 0) std::memcpy(data_, other.data_, ByteSize());
}

Bitmap& Bitmap::operator=(const Bitmap& other) {
    if (this == &other) return *this;
    Allocate(other.width_, other.height_, other.bitsPerPixel_, Init::Uninitialised);
    if (ByteSize() != 0) std::memcpy(data_, other.data_, ByteSize());
    device_ = other.device_;
    masks_ = other.masks_;
    palette_ = other.palette_;
    return *this;
}

Bitmap::Bitmap(Bitmap&& other) noexcept { *this = std::move(other); }

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this == &other) return *this;
    FreeStorage();
    data_ = std::exchange(other.data_, nullptr);
    storage_ = std::exchange(other.storage_, Storage::Heap);
    capacity_ = std::exchange(other.capacity_, 0);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    bitsPerPixel_ = other.bitsPerPixel_;
    stride_ = std::exchange(other.stride_, 0);
    device_ = other.device_;
    masks_ = other.masks_;
    palette_ = std::move(other.palette_);
    other.palette_.clear();
    return *this;
}

Bitmap::~Bitmap() { FreeStorage(); }

void Bitmap::FreeStorage() {
    if (storage_ == Storage::Heap) std::free(data_);
    else if (storage_ == Storage::Mapped && data_ != nullptr) munmap(data_, capacity_);
    data_ = nullptr;
    capacity_ = 0;
    storage_ = Storage::Heap;
}

void Bitmap::UseStorage(uint8_t* data, size_t bytes, Storage storage) {
    FreeStorage();
    Clear();
    data_ = data;
    capacity_ = bytes;
    storage_ = storage;
}

void Bitmap::Borrow(uint8_t* data, size_t bytes) { UseStorage(data, bytes, Storage::Borrowed); }

void Bitmap::AdoptMapping(uint8_t* data, size_t bytes) { UseStorage(data, bytes, Storage::Mapped); }

size_t Bitmap::StrideFor(int width, int bitsPerPixel) {
    return size_t((uint64_t(width) * uint64_t(bitsPerPixel) + 31) / 32 * 4);
}

void Bitmap::CheckSize(int width, int height, int bitsPerPixel) {
    if (width < 0 || height < 0 || bitsPerPixel <= 0 || bitsPerPixel > 64) throw EInvalidGraphic();
    const uint64_t stride = (uint64_t(width) * uint64_t(bitsPerPixel) + 31) / 32 * 4;
    if (stride * uint64_t(height) > kMaxBitmapBytes) throw EOutOfResources();
}

void Bitmap::Allocate(int width, int height, int bitsPerPixel, Init init) {
    CheckSize(width, height, bitsPerPixel);
    const uint64_t stride = (uint64_t(width) * uint64_t(bitsPerPixel) + 31) / 32 * 4;
    const uint64_t bytes = stride * uint64_t(height);
    Reserve(size_t(bytes), init);
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitsPerPixel;
    stride_ = size_t(stride);
}

void Bitmap::Reserve(size_t bytes, Init init) {
    // Reuse a buffer that holds the image and is not far too large for it;
    // memory not from the heap is used whenever the image fits.
    if (bytes <= capacity_ && (bytes >= capacity_ / 4 || storage_ != Storage::Heap)) {
        // An empty bitmap may have no buffer at all: memset of null is undefined.
        if (init == Init::Zero && bytes != 0) std::memset(data_, 0, bytes);
        return;
    }
    FreeStorage();
    if (bytes == 0) return;
    // calloc of a large block maps fresh zero pages without touching them.
    void* p = init == Init::Zero ? std::calloc(bytes, 1) : std::malloc(bytes);
    if (p == nullptr) throw EOutOfResources();
    data_ = static_cast<uint8_t*>(p);
    capacity_ = bytes;
    AdviseHugePages(data_, bytes);
}

void Bitmap::Clear() {
    width_ = 0;
    height_ = 0;
    stride_ = 0;
}

void Bitmap::Release() {
    Clear();
    FreeStorage();
}

PixelFormat Bitmap::Format() const {
    if (device_) return PixelFormat::Device;
    const bool noMasks = masks_ == ColorMasks{};
    switch (bitsPerPixel_) {
    case 1: return PixelFormat::Bit1;
    case 4: return PixelFormat::Bit4;
    case 8: return PixelFormat::Bit8;
    case 16:
        if (noMasks) return PixelFormat::Bit15;
        return masks_.green == 0x07E0 ? PixelFormat::Bit16 : PixelFormat::Custom;
    case 24: return PixelFormat::Bit24;
    case 32: return noMasks ? PixelFormat::Bit32 : PixelFormat::Custom;
    default: return PixelFormat::Custom;
    }
}

}  // namespace pelumir
