#pragma once
// What the program and its decoder process say to each other over their
// socket (SOCK_SEQPACKET: one message a packet, kept whole). Only small
// messages cross it; pixels go through shared memory.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/Orientation.h"
#include "platform/Bitmap.h"
#include "platform/FileDescriptor.h"
#include "viewer/StretchDraw.h"

namespace pelumir::decoding {

// The program's side of the socket in the decoder process.
inline constexpr int kSocketFd = 3;

// The program asks. With a Decode come two descriptors: the file, opened
// by the program, and the frame's shared memory, stride x frameHeight bytes
// of kFrameBits rows. A Decode drops any decode still running before it. A
// Screen brings the screen's colour profile (a descriptor of memory holding
// it, none for sRGB) for the decodes after it.
//
// A moving picture is played by a process of its own. Frames brings the
// file and, when its colours are turned, the table the still picture's
// decode sent; each NextFrame then brings the shared memory for the next
// frame (frameWidth x frameHeight), and Canvas asks for the whole frame
// answered to NextFrame `frameId`, as the still decode's whole picture.
struct Request {
    enum class Kind : uint32_t { Decode = 1, Cancel = 2, Screen = 3, Frames = 4, NextFrame = 5, Canvas = 6 };
    Kind kind = Kind::Decode;
    uint32_t id = 0;
    uint32_t frameId = 0;
    uint8_t orientation = uint8_t(Orientation::Normal);  // the frames' turn, as the still picture's
    int32_t frameWidth = 0, frameHeight = 0;
    uint8_t keepWhole = 0;     // also hand back the whole picture (for turning it)
    uint8_t followExif = 0;    // turn the frame as the picture's orientation says
    uint8_t otherFormats = 0;  // formats beyond JPEG and BMP
    uint8_t colourManaged = 0; // the picture's colours turned into the screen's
    // The file name's extension, lower case, with its dot: it picks the
    // decoders a file is offered to. Empty when longer than this.
    char extension[24] = {};
};

// The decoder answers each Decode once, in order. With a whole picture
// comes its shared memory (stride x height bytes, palette in the message),
// and with it, when its colours are to be turned, the table that turns
// them (ColourTable's bytes) in memory of its own. A NextFrame is answered
// Done with the frame's delay, or Failed when the frames have ended (a
// still picture has none); a Canvas Done with the whole frame.
struct Reply {
    // Ready is the first message of a process: whether its sandbox holds,
    // and when not, why, in `note`.
    enum class Kind : uint32_t { Done = 1, Failed = 2, Dropped = 3, Ready = 4 };
    Kind kind = Kind::Failed;
    uint32_t id = 0;
    int32_t width = 0, height = 0;  // the picture as stored
    uint8_t orientation = uint8_t(Orientation::Normal);
    uint8_t wholeSent = 0;
    uint8_t sandboxed = 0;
    uint8_t tableSent = 0;
    uint8_t pad = 0;
    uint16_t bitsPerPixel = 0;
    uint32_t delayMs = 0;  // how long a frame shows
    uint32_t masks[3] = {};
    uint32_t paletteSize = 0;
    uint32_t palette[256] = {};
    char note[160] = {};
};

// The bytes of a frame's shared memory: rows of kFrameBits, as the program
// shows them.
inline size_t FrameBytes(int width, int height) { return Bitmap::StrideFor(width, kFrameBits) * size_t(height); }

// The extension field for a file name; empty when too long to be any format's.
void ExtensionField(std::string_view name, char (&field)[24]);

// Shared memory of `bytes` (more than 0) made for a frame or a picture,
// mapped for reading and writing; null when none can be had. Its
// descriptor, to hand over, goes into `fd`.
uint8_t* NewSharedMemory(const char* name, size_t bytes, UniqueFd& fd);

// Shared memory for one frame, mapped in the program and handed to a
// decoder process, kept while frames of its size are made.
struct SharedFrame {
    UniqueFd fd;
    uint8_t* data = nullptr;
    size_t bytes = 0;
    SharedFrame() = default;
    SharedFrame(const SharedFrame&) = delete;
    SharedFrame& operator=(const SharedFrame&) = delete;
    ~SharedFrame() { Release(); }
    // Memory of `size` bytes; false when none can be had.
    bool Ensure(size_t size);
    void Release();
    // A kFrameBits width x height bitmap over it.
    void Show(Bitmap& frame, int width, int height) const;
};

// Lets go of this process's hold on the pages of shared memory that
// `bytes` from `data` touch (the first one from its page's start): what they
// hold stays there, read in again when next touched. A frame done with
// costs neither process memory.
void LetPagesGo(const uint8_t* data, size_t bytes);

// The largest screen profile taken.
inline constexpr size_t kMaxProfileBytes = size_t(4) << 20;

// Shared memory holding `bytes` (not empty); an invalid descriptor when none can be had.
UniqueFd SharedCopy(const char* name, std::span<const uint8_t> bytes);
// The bytes of the shared memory `fd`, at most `limit`; empty when more,
// or when it cannot be read.
std::vector<uint8_t> ReadShared(int fd, size_t limit);

// The whole picture a Done reply sent in the shared memory `fd`, mapped
// into `out` (which unmaps it when let go); false, `out` empty, when the
// reply and the memory do not make a picture.
bool MapPicture(const Reply& reply, int fd, Bitmap& out);

// One message and up to two descriptors; false when the peer is gone.
bool SendMessage(int socket, const void* data, size_t size, std::span<const int> fds = {});
// One message into `data` (at most `size` bytes), descriptors into `fds`
// (those not received are -1). The size read; 0 when the peer is gone, -1
// on an error or a message that is not `size` bytes long. Blocks unless
// `wait` is false (then -2 when nothing is waiting).
ptrdiff_t ReceiveMessage(int socket, void* data, size_t size, int (&fds)[2], bool wait);

}  // namespace pelumir::decoding
