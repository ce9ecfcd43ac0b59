#pragma once
// The one road from an image file to its pixels, taken by the viewer, the
// benchmarks and the tests alike.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/Decoder.h"
#include "image/Formats.h"
#include "platform/Bitmap.h"
#include "platform/FileSystem.h"

namespace pelumir {

// Reads a file into a buffer and offers it to the decoders of its loader
// chain in turn (see LoaderChain). The work can be done at once or in small
// steps; the result is the same. In steps, a decoder that can read on
// begins on the file's first bytes and reads the rest itself, so a JPEG is
// never held whole.
class ImageLoad {
public:
    enum class State { Working, Loaded, Failed };

    ImageLoad();
    ~ImageLoad();

    // Nothing is read before the first step. `fileBytes` (its storage kept
    // for the next image) and `out` must outlive the load. `pieceBytes`
    // bounds the reading and parsing of one piece of work; 0 does each
    // stage at once.
    void Start(const std::string& path, FileBytes& fileBytes, RowSink& out, size_t pieceBytes,
               ChainOptions options = {});
    // The same on a file opened elsewhere, which the load then owns; `name`
    // (its extension is enough) picks the decoders it is offered to.
    void StartOn(int fd, const std::string& name, FileBytes& fileBytes, RowSink& out, size_t pieceBytes,
                 ChainOptions options = {});
    // Works until the deadline has passed (at least one piece), or to the
    // end with kNoDeadline. A failure leaves no picture: the sink's rows
    // are not to be shown.
    State Step(StepDeadline deadline);
    State Current() const { return state_; }
    // The stamp of the file as it was read; meaningful once reading began.
    bool ReadingBegan() const { return phase_ != Phase::Open; }
    const FileStamp& Stamp() const { return stamp_; }
    void Cancel();

private:
    enum class Phase { Open, Read, Decode, End };
    bool Advance(StepDeadline deadline);
    bool StartLink();
    void Fail();

    std::string path_;
    int fd_ = -1;  // handed over, not yet read
    FileBytes* bytes_ = nullptr;
    RowSink* out_ = nullptr;
    size_t pieceBytes_ = 0;
    ChainOptions options_;
    Phase phase_ = Phase::End;
    State state_ = State::Failed;
    FileReader reader_;
    FileStamp stamp_;
    bool whole_ = false;  // the whole file is in *bytes_
    std::vector<const Format*> chain_;
    size_t link_ = 0;
    Decoder* decoder_ = nullptr;
    // One decoder per format, made when first needed and kept for the next image.
    std::vector<std::unique_ptr<Decoder>> decoders_;
};

// Reads the file once into `fileBytes` (its storage kept for the next
// image), then decodes it as above. A missing file, a folder, a pipe or a
// file larger than any bitmap we hold fails with `out` empty. With
// `orientation`, the picture's EXIF orientation (a JPEG XL's own) is given
// there (Normal for a failure); `out` stays as stored.
bool LoadImageFile(const std::string& path, FileBytes& fileBytes, Bitmap& out,
                   Orientation* orientation = nullptr);

}  // namespace pelumir
