#include "image/Animation.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <string>

#include "image/Formats.h"
#include "platform/Path.h"

namespace pelumir {

const Bitmap* FrameSource::Next(int& delayMs) {
    // A frame too large for memory ends the frames like an unreadable one.
    try {
        return ReadFrame(canvas_, delayMs) ? &canvas_ : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

bool FrameSource::Rewind() {
    canvas_.Clear();
    return Restart();
}

int ShownDelay(double ms) {
    if (!(ms >= 20)) return 100;  // NaN too
    return ms >= INT_MAX ? INT_MAX : int(ms);
}

void ComposeCanvas(const uint8_t* pixels, int width, int height, bool rgba, Bitmap& canvas) {
    canvas.Allocate(width, height, 32, Bitmap::Init::Uninitialised);
    canvas.SetMasks({});  // a bitmap used before may keep another layout's
    const int r = rgba ? 0 : 2, b = rgba ? 2 : 0;
    for (int y = 0; y < height; ++y) {
        uint8_t* out = canvas.Row(y);
        for (int x = 0; x < width; ++x, pixels += 4, out += 4) {
            const unsigned a = pixels[3];
            if (a == 255) {
                out[0] = pixels[b], out[1] = pixels[1], out[2] = pixels[r];
            } else {
                out[0] = uint8_t((pixels[b] * a + 127) / 255);
                out[1] = uint8_t((pixels[1] * a + 127) / 255);
                out[2] = uint8_t((pixels[r] * a + 127) / 255);
            }
            out[3] = 0;
        }
    }
}

std::unique_ptr<FrameSource> OpenAnimation(std::span<const uint8_t> file, std::string_view extension) {
    const std::string ext = LowerAscii(extension);
    const std::span<const uint8_t> head = file.first(std::min(file.size(), kSniffBytes));
    for (const Format& f : Formats()) {
        if (std::find(f.extensions.begin(), f.extensions.end(), ext) == f.extensions.end() || !f.sniff(head))
            continue;
        // A canvas no bitmap may have, or memory run out while opening:
        // no animation, and the still decoder tells why.
        try {
            if (f.name == "GIF") return OpenGifAnimation(file);
            if (f.name == "WebP") return OpenWebpAnimation(file);
            if (f.name == "PNG") return OpenPngAnimation(file);
            if (f.name == "JPEG XL") return OpenJxlAnimation(file);
        } catch (const std::exception&) {
        }
        return nullptr;
    }
    return nullptr;
}

}  // namespace pelumir
