#pragma once
// The one road from an image file to its pixels, taken by the decoder
// process, the benchmarks and the tests alike.
#include <cstddef>
#include <string>
#include <string_view>

#include "image/Decoder.h"
#include "image/Formats.h"
#include "platform/Bitmap.h"
#include "platform/FileSystem.h"

namespace pelumir {

struct LoadResult {
    enum class State { Loaded, Failed, Dropped };
    State state = State::Failed;
    // How the picture is to be turned for display; Normal unless loaded.
    Orientation orientation = Orientation::Normal;
    // What the picture's colours are, as its file says; untagged unless loaded.
    ColourSource colour;
};

// Reads a file into `fileBytes` (its storage kept for the next image) and
// offers it to the decoders of its loader chain in turn (see LoaderChain),
// the first that succeeds giving the picture. The file is read
// `pieceBytes` at a time (0: at once) and the sink asked whether the
// picture is still wanted between pieces; a decoder that can read on
// begins on the file's first bytes and reads the rest itself, so a JPEG
// is never held whole. A missing file, a folder, a pipe or a file larger
// than any bitmap we hold fails. A failure leaves no picture: the sink's
// rows are not to be shown.
LoadResult LoadImage(const std::string& path, FileBytes& fileBytes, RowSink& out, ChainOptions options = {},
                     size_t pieceBytes = 0);
// The same on a file opened elsewhere (closed here); `name` (its extension
// is enough) picks the decoders it is offered to.
LoadResult LoadImage(int fd, std::string_view name, FileBytes& fileBytes, RowSink& out, ChainOptions options = {},
                     size_t pieceBytes = 0);

// The whole picture at once into `out`, which is empty for a failure. With
// `orientation`, the picture's EXIF orientation (a JPEG XL's own) is given
// there (Normal for a failure); `out` stays as stored.
bool LoadImageFile(const std::string& path, FileBytes& fileBytes, Bitmap& out,
                   Orientation* orientation = nullptr);

}  // namespace pelumir
