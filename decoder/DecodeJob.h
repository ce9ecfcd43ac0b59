#pragma once
// One picture, as the program asks for it: the file decoded into the shared
// frame, fitted and turned, and the whole picture too when asked.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "decoder/Protocol.h"
#include "image/ImageFile.h"
#include "platform/Bitmap.h"
#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"
#include "viewer/StretchDraw.h"

namespace pelumir::decoding {

// How much input one piece of decoding takes: the JPEG read on holds no
// more of its file than this at a time.
inline constexpr size_t kPieceBytes = 64 * 1024;
// How often at most the program's next message is looked for while a
// picture is decoded: often enough that a dropped picture costs nothing
// one notices, seldom enough that looking costs nothing either.
inline constexpr std::chrono::steady_clock::duration kDropCheckEvery = std::chrono::milliseconds(2);

// The frame memory handed over with a request, mapped once and kept while
// the same memory comes again: the program's two frames, in turn.
class FrameMapping {
public:
    FrameMapping() = default;
    FrameMapping(const FrameMapping&) = delete;
    FrameMapping& operator=(const FrameMapping&) = delete;
    ~FrameMapping() {
        for (Entry& e : entries_) e.Unmap();
    }
    // Maps the memory behind `fd` (closed here); null when it cannot be,
    // or is smaller than `bytes`.
    uint8_t* Map(int fd, size_t bytes);

private:
    struct Entry {
        uint8_t* data = nullptr;
        size_t size = 0;
        uint64_t device = 0, inode = 0, used = 0;
        void Unmap();
    };
    Entry entries_[2];
    uint64_t clock_ = 0;
};

// What a decode hands back: the reply, and the whole picture's memory when
// kept, with the table that turns its colours when they are to be.
struct JobResult {
    Reply reply;
    UniqueFd whole;
    UniqueFd table;
};

// The work of one Decode, with what it keeps from one picture to the next.
class DecodeJob {
public:
    // Decodes the file `fd` (owned from here) as `request` says into `frame`,
    // a kFrameBits frameWidth x frameHeight bitmap over the shared memory.
    // `dropped` is asked between pieces, at most every `checkEvery`; when
    // it says so the work stops and the reply is Dropped. A picture that
    // fails leaves the frame black.
    JobResult Run(const Request& request, int fd, uint8_t* frame, size_t frameBytes,
                  const std::function<bool()>& dropped, size_t pieceBytes = kPieceBytes,
                  std::chrono::steady_clock::duration checkEvery = kDropCheckEvery);
    // The screen's colour profile for the decodes from here on; empty: sRGB.
    void SetScreen(std::vector<uint8_t> profile) { screen_ = std::move(profile); }

private:
    std::vector<uint8_t> screen_;
    FileBytes bytes_;
    Bitmap frame_;
    FittedSink fitSink_;
};

}  // namespace pelumir::decoding
