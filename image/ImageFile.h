#pragma once
// The one road from an image file to its pixels, taken by the viewer, the
// benchmarks and the tests alike.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/FileSystem.h"
#include "image/JpegLoader.h"

namespace pelumir {

// True when the name ends in ".bmp", in any letter case: only such files are
// offered to the BMP reader.
bool HasBmpName(const std::string& path);

// Reads a file once into a buffer and decodes it as the show does: JPEG
// first, whatever the name; the BMP reader only for a ".bmp" name (a ".jpg"
// that failed as a JPEG would only fail the same way again). The work can
// be done at once or in small steps; the result is the same.
class ImageLoad {
public:
    enum class State { Working, Loaded, Failed };

    // Nothing is read before the first step. `fileBytes` (its storage kept
    // for the next image) and `out` must outlive the load. `pieceBytes`
    // bounds the reading and parsing of one piece of work; 0 does each
    // stage at once.
    void Start(const std::string& path, std::vector<uint8_t>& fileBytes, Bitmap& out, size_t pieceBytes);
    // Works until the deadline has passed (at least one piece), or to the
    // end with kNoDeadline. A failure leaves `out` empty.
    State Step(StepDeadline deadline);
    State Current() const { return state_; }
    // The stamp of the file as it was read; meaningful once reading began.
    bool ReadingBegan() const { return phase_ != Phase::Open; }
    const FileStamp& Stamp() const { return stamp_; }
    void Cancel();

private:
    enum class Phase { Open, Read, Jpeg, Bmp, End };
    bool Advance(StepDeadline deadline);
    void Fail();

    std::string path_;
    std::vector<uint8_t>* bytes_ = nullptr;
    Bitmap* out_ = nullptr;
    size_t pieceBytes_ = 0;
    Phase phase_ = Phase::End;
    State state_ = State::Failed;
    FileReader reader_;
    JpegDecode jpeg_;
    FileStamp stamp_;
};

// Reads the file once into `fileBytes` (its storage kept for the next
// image), then decodes it as above. A missing file, a folder, a pipe or a
// file larger than any bitmap we hold fails with `out` empty.
bool LoadImageFile(const std::string& path, std::vector<uint8_t>& fileBytes, Bitmap& out);

}  // namespace pelumir
