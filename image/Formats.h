#pragma once
// Every picture format the program reads, in one table, and the rule that
// picks which decoders a file is offered to.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>


namespace pelumir {

struct Format {
    std::string_view name;
    // Lower case, with the dot.
    std::span<const std::string_view> extensions;
    // More names of a standard format, taken only with the other formats.
    std::span<const std::string_view> otherExtensions;
    // Whether the file's first bytes can be this format (kSniffBytes or fewer).
    bool (*sniff)(std::span<const uint8_t> head);
    // Shown unless switched off; the others only when switched on.
    bool standard;
    // Offered whatever the file is called; otherwise only under its own
    // extensions.
    bool anyName;
    // Its pictures may move.
    bool moves = false;
};

// How many of a file's first bytes the choice looks at.
inline constexpr size_t kSniffBytes = 16;

struct ChainOptions {
    bool otherFormats = false;  // formats beyond the standard ones
    // The picture goes with the orientation its EXIF data names; off, every
    // picture is shown as stored.
    bool exifOrientation = true;
};

// The formats of the program, in the order they are tried. The table knows
// names and first bytes only, so the program links it without any codec.
std::span<const Format> Formats();

// The decoders a file is offered to, in order; the first that succeeds
// gives the picture, and an empty chain is a file that shows nothing. With
// the other formats on, every format whose first bytes the file has is
// offered, those its name asks for first: the content decides, and a ".jpg"
// or ".bmp" is offered its own decoders before any other.
std::vector<const Format*> LoaderChain(std::span<const Format> table, std::string_view name,
                                       std::span<const uint8_t> head, ChainOptions options);
inline std::vector<const Format*> LoaderChain(std::string_view name, std::span<const uint8_t> head,
                                              ChainOptions options = {}) {
    return LoaderChain(Formats(), name, head, options);
}

// Whether a file of this name may hold a moving picture.
bool MayMove(std::string_view name);

// Whether a file of this name is collected as a picture.
bool HasImageExtension(std::string_view name, ChainOptions options = {});

}  // namespace pelumir
