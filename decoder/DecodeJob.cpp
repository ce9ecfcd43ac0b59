#include "decoder/DecodeJob.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>

#include "image/ColourTransform.h"
#include "image/Decoder.h"
#include "image/Formats.h"
#include "platform/Exception.h"

namespace pelumir::decoding {

namespace {

// Keeps the whole picture in shared memory of its own, sized once its
// header is read, so it reaches the program without a copy.
class SharedPictureSink final : public RowSink {
public:
    explicit SharedPictureSink(Bitmap& out) : out_(out) {}
    void Begin(int width, int height, int bitsPerPixel, Orientation orientation) override {
        Bitmap::CheckSize(width, height, bitsPerPixel);
        const size_t bytes = Bitmap::StrideFor(width, bitsPerPixel) * size_t(height);
        UniqueFd fd;
        uint8_t* p = nullptr;
        if (bytes != 0 && (p = NewSharedMemory("pelumir-picture", bytes, fd)) == nullptr) throw EOutOfResources();
        out_.Release();
        if (p != nullptr) out_.AdoptMapping(p, bytes);
        mapped_ = p;
        fd_ = std::move(fd);
        PictureSink(out_).Begin(width, height, bitsPerPixel, orientation);
    }
    std::vector<uint32_t>& Palette() override { return out_.Palette(); }
    uint8_t* Row(int y) override { return out_.Row(y); }
    void RowsDone(int, int) override {}
    Bitmap& Whole() override { return out_; }
    void WholeDone(Orientation) override {}
    void Abandon() override { out_.Release(); }

    // The picture's memory, copied there first when a decoder made the
    // picture in a bitmap of its own.
    UniqueFd Take() {
        if (out_.Bits() != mapped_ || !fd_.ok()) {
            Bitmap copy = std::move(out_);
            Begin(copy.Width(), copy.Height(), copy.BitsPerPixel(), Orientation::Normal);
            if (copy.ByteSize() != 0) std::memcpy(out_.Bits(), copy.Bits(), copy.ByteSize());
            out_.Palette() = copy.Palette();
            out_.SetMasks(copy.Masks());
        }
        return std::move(fd_);
    }

private:
    Bitmap& out_;
    uint8_t* mapped_ = nullptr;
    UniqueFd fd_;
};

void Describe(const Bitmap& picture, Reply& reply) {
    reply.width = picture.Width();
    reply.height = picture.Height();
    reply.bitsPerPixel = uint16_t(picture.BitsPerPixel());
    reply.masks[0] = picture.Masks().red;
    reply.masks[1] = picture.Masks().green;
    reply.masks[2] = picture.Masks().blue;
    const auto& palette = picture.Palette();
    reply.paletteSize = uint32_t(std::min<size_t>(palette.size(), std::size(reply.palette)));
    std::copy_n(palette.begin(), reply.paletteSize, reply.palette);
}

}  // namespace

uint8_t* FrameMapping::Map(int fd, size_t bytes) {
    UniqueFd owned(fd);
    struct stat st {};
    if (fstat(fd, &st) != 0 || uint64_t(st.st_size) < bytes || st.st_size == 0) return nullptr;
    for (Entry& e : entries_)
        if (e.data != nullptr && e.device == uint64_t(st.st_dev) && e.inode == uint64_t(st.st_ino) &&
            e.size == size_t(st.st_size)) {
            e.used = ++clock_;
            return e.data;
        }
    // The program alternates between two frames: the one used longer ago goes.
    Entry& e = entries_[0].used <= entries_[1].used ? entries_[0] : entries_[1];
    e.Unmap();
    void* p = mmap(nullptr, size_t(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return nullptr;
    e = {static_cast<uint8_t*>(p), size_t(st.st_size), uint64_t(st.st_dev), uint64_t(st.st_ino), ++clock_};
    return e.data;
}

void FrameMapping::Entry::Unmap() {
    if (data != nullptr) munmap(data, size);
    data = nullptr;
}

JobResult DecodeJob::Run(const Request& request, int fd, uint8_t* frame, size_t frameBytes,
                         const std::function<bool()>& dropped, size_t pieceBytes,
                         std::chrono::steady_clock::duration checkEvery) {
    JobResult result;
    Reply& reply = result.reply;
    reply.id = request.id;
    reply.kind = Reply::Kind::Failed;
    const int W = request.frameWidth, H = request.frameHeight;
    if (fd < 0 || frame == nullptr || W < 0 || H < 0 || FrameBytes(W, H) > frameBytes) {
        if (fd >= 0) close(fd);
        return result;
    }
    frame_.Borrow(frame, frameBytes);
    frame_.Allocate(W, H, kFrameBits, Bitmap::Init::Uninitialised);
    const std::string name(request.extension, strnlen(request.extension, sizeof request.extension));
    const ChainOptions options{.otherFormats = request.otherFormats != 0, .exifOrientation = request.followExif != 0};
    Bitmap whole;
    SharedPictureSink keepSink(whole);
    RowSink& sink = request.keepWhole != 0 ? static_cast<RowSink&>(keepSink) : fitSink_;
    fitSink_.Aim(frame_, W, H);
    // The program's word is looked for between pieces of the file and
    // batches of rows, though no more often than `checkEvery`.
    auto next = std::chrono::steady_clock::now() + checkEvery;
    sink.WatchWanted([&] {
        const auto now = std::chrono::steady_clock::now();
        if (now < next) return true;
        next = now + checkEvery;
        return !dropped();
    });
    LoadResult loaded;
    try {
        loaded = LoadImage(fd, name, bytes_, sink, options, pieceBytes);
    } catch (const std::exception&) {
        loaded = {};  // memory ran out
    }
    sink.WatchWanted(nullptr);
    if (loaded.state == LoadResult::State::Dropped) {
        reply.kind = Reply::Kind::Dropped;
        return result;
    }
    const Orientation orientation = loaded.orientation;
    reply.orientation = uint8_t(orientation);
    const bool isLoaded = loaded.state == LoadResult::State::Loaded;
    bool shown = false;
    try {
        // Only the pixels the frame shows are turned into the screen's colours.
        std::shared_ptr<const ColourTable> colours;
        if (isLoaded && request.colourManaged != 0) colours = ColourTableFor(loaded.colour, screen_);
        FitRect area;
        if (isLoaded && request.keepWhole != 0) {
            shown = DrawFitted(whole, frame_, W, H, orientation);
            area = FittedArea(whole.Width(), whole.Height(), orientation, W, H);
            Describe(whole, reply);
            result.whole = keepSink.Take();
            reply.wholeSent = result.whole.ok();
        } else if (isLoaded) {
            shown = true;
            area = fitSink_.Area();
        }
        // The table goes with the picture for turning it, and for the frames
        // of a picture that may move.
        if (shown && colours != nullptr && (reply.wholeSent != 0 || MayMove(name))) {
            result.table = SharedCopy("pelumir-colours", colours->Serialise());
            reply.tableSent = result.table.ok();
        }
        if (shown && colours != nullptr) colours->Apply(frame_, int(area.left), int(area.top), int(area.right), int(area.bottom));
    } catch (const std::exception&) {
        shown = false;  // memory ran out
    }
    if (!shown && frame_.ByteSize() != 0) std::memset(frame_.Bits(), 0, frame_.ByteSize());
    if (shown) reply.kind = Reply::Kind::Done;
    // The whole picture is the program's now: nothing of it stays mapped here.
    whole.Release();
    return result;
}

}  // namespace pelumir::decoding
