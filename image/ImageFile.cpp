#include "image/ImageFile.h"

#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

#include "image/Decoders.h"
#include "image/ExifOrientation.h"

namespace pelumir {

namespace {

enum class Read { Whole, Head, Failed, Dropped };

Read Ended(const FileReader& reader) { return reader.Result() == ReadResult::Ok ? Read::Whole : Read::Failed; }

// Reads the file whole or, for a JPEG, until the segments before its image
// data are in: it is decoded as the rest is read, and its EXIF data is
// among them. Any other file stops at its first piece: a decoder that
// reads on (GIF's) takes the rest as it goes, the others read it whole.
Read ReadStart(FileReader& reader, const FileBytes& bytes, RowSink& out, size_t pieceBytes) {
    for (;;) {
        if (reader.ReadSome(pieceBytes == 0 ? SIZE_MAX : pieceBytes)) return Ended(reader);
        const bool jpeg = bytes.size() < 2 || (bytes[0] == 0xFF && bytes[1] == 0xD8);
        if (jpeg ? JpegHeaderIn(bytes) : bytes.size() >= kSniffBytes) return Read::Head;
        if (!out.Wanted()) return Read::Dropped;
    }
}

// From the start again, for a decoder that needs the whole file after all.
Read ReadWhole(FileReader& reader, RowSink& out, size_t pieceBytes) {
    if (!reader.Rewind()) return Read::Failed;
    for (;;) {
        if (reader.ReadSome(pieceBytes == 0 ? SIZE_MAX : pieceBytes)) return Ended(reader);
        if (!out.Wanted()) return Read::Dropped;
    }
}

LoadResult Decode(FileReader& reader, std::string_view name, FileBytes& bytes, RowSink& out, ChainOptions options,
                  size_t pieceBytes) {
    Read read = ReadStart(reader, bytes, out, pieceBytes);
    bool readOn = false;  // the reader has gone past `bytes`
    for (const Format* format : LoaderChain(name, bytes, options)) {
        const FormatDecoder* decoder = DecoderFor(*format);
        if (decoder == nullptr) continue;
        if (read == Read::Head && (!decoder->readsOn || readOn)) read = ReadWhole(reader, out, pieceBytes);
        if (read == Read::Failed || read == Read::Dropped) break;
        readOn = read == Read::Head;
        FileInput in = readOn ? FileInput(bytes, reader, options.exifOrientation, pieceBytes)
                              : FileInput(bytes, options.exifOrientation, pieceBytes);
        try {
            if (std::optional<Decoded> decoded = decoder->decode(in, out))
                return {LoadResult::State::Loaded, decoded->orientation, std::move(decoded->colour)};
        } catch (const std::exception&) {
            // The sink refused the size, or memory ran out: the next decoder may do better.
        }
        if (out.Dropped()) return {LoadResult::State::Dropped, Orientation::Normal, {}};
    }
    return {read == Read::Dropped ? LoadResult::State::Dropped : LoadResult::State::Failed, Orientation::Normal, {}};
}

LoadResult Finish(LoadResult result, RowSink& out) {
    if (result.state != LoadResult::State::Loaded) out.Abandon();
    return result;
}

}  // namespace

LoadResult LoadImage(const std::string& path, FileBytes& fileBytes, RowSink& out, ChainOptions options,
                     size_t pieceBytes) {
    FileReader reader;
    // No file larger than the largest bitmap can be a picture we show.
    if (!reader.Open(path, fileBytes, kMaxBitmapBytes)) return Finish({}, out);
    return Finish(Decode(reader, path, fileBytes, out, options, pieceBytes), out);
}

LoadResult LoadImage(int fd, std::string_view name, FileBytes& fileBytes, RowSink& out, ChainOptions options,
                     size_t pieceBytes) {
    FileReader reader;
    if (!reader.Adopt(fd, fileBytes, kMaxBitmapBytes)) return Finish({}, out);
    return Finish(Decode(reader, name, fileBytes, out, options, pieceBytes), out);
}

bool LoadImageFile(const std::string& path, FileBytes& fileBytes, Bitmap& out, Orientation* orientation) {
    PictureSink sink(out);
    const LoadResult result = LoadImage(path, fileBytes, sink, {.exifOrientation = orientation != nullptr});
    if (orientation != nullptr) *orientation = result.orientation;
    return result.state == LoadResult::State::Loaded;
}

}  // namespace pelumir
