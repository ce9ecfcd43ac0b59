#include "decoder/FrameJob.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

#include "platform/FileDescriptor.h"
#include "viewer/StretchDraw.h"

namespace pelumir::decoding {

void FrameJob::End() {
    source_.reset();
    if (file_ != nullptr) munmap(file_, fileBytes_);
    file_ = nullptr;
    fileBytes_ = 0;
    coloured_ = false;
    for (Bitmap& c : canvases_) c.Release();
    for (uint32_t& id : canvasIds_) id = 0;
}

void FrameJob::Begin(const Request& request, int fd, int tableFd) {
    End();
    const UniqueFd file(fd), table(tableFd);
    orientation_ = request.orientation >= 1 && request.orientation <= 8 ? Orientation(request.orientation)
                                                                       : Orientation::Normal;
    keep_ = request.keepWhole != 0;
    loopsDone_ = framesThisLoop_ = 0;
    if (table.ok()) {
        const std::vector<uint8_t> bytes = ReadShared(table.get(), size_t(16) << 20);
        coloured_ = colours_.Deserialise(bytes.data(), bytes.size());
    }
    struct stat st {};
    if (!file.ok() || fstat(file.get(), &st) != 0 || st.st_size <= 0) return;
    void* p = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, file.get(), 0);
    if (p == MAP_FAILED) return;
    file_ = static_cast<uint8_t*>(p);
    fileBytes_ = size_t(st.st_size);
    const std::string extension(request.extension, strnlen(request.extension, sizeof request.extension));
    source_ = OpenAnimation({file_, fileBytes_}, extension);
    // A still picture holds nothing here; a moving one reads its pages again as it plays.
    if (source_ == nullptr) End();
    else madvise(file_, fileBytes_, MADV_DONTNEED);
}

Reply FrameJob::Next(const Request& request, uint8_t* frame, size_t frameBytes) {
    Reply reply;
    reply.id = request.id;
    reply.kind = Reply::Kind::Failed;
    const int W = request.frameWidth, H = request.frameHeight;
    if (source_ == nullptr || frame == nullptr || W < 0 || H < 0 || FrameBytes(W, H) > frameBytes) return reply;
    try {
        int delay = 0;
        const Bitmap* canvas = source_->Next(delay);
        if (canvas == nullptr) {
            // The end of a loop, or a frame that cannot be read: the frames
            // before it play again while loops are left.
            ++loopsDone_;
            const int loops = source_->Loops();
            if (framesThisLoop_ < 2 || (loops != 0 && loopsDone_ >= loops) || !source_->Rewind() ||
                (canvas = source_->Next(delay)) == nullptr)
                return reply;
            framesThisLoop_ = 0;
        }
        ++framesThisLoop_;
        if (keep_) {
            // Turning needs the frame on screen whole while the next is made.
            current_ = 1 - current_;
            Bitmap& kept = canvases_[current_];
            kept.Allocate(canvas->Width(), canvas->Height(), 32, Bitmap::Init::Uninitialised);
            std::memcpy(kept.Bits(), canvas->Bits(), canvas->ByteSize());
            canvasIds_[current_] = request.id;
        }
        frame_.Borrow(frame, frameBytes);
        frame_.Allocate(W, H, kFrameBits, Bitmap::Init::Uninitialised);
        // A band at a time, let go once made: the frame, read by the program
        // from the shared memory, never counts here whole.
        const FitRect area = FittedArea(canvas->Width(), canvas->Height(), orientation_, W, H);
        const auto bandDone = [&](int top, int rows) {
            const int end = top + rows;
            if (coloured_ && top < area.bottom && end > area.top)
                colours_.Apply(frame_, int(area.left), std::max(top, int(area.top)), int(area.right),
                               std::min(end, int(area.bottom)));
            // A page shared with the band before only goes a second time.
            LetPagesGo(frame_.Row(top), size_t(rows) * frame_.Stride());
        };
        if (!DrawFittedInBands(*canvas, frame_, W, H, orientation_, bandDone)) return reply;
        reply.kind = Reply::Kind::Done;
        reply.delayMs = uint32_t(delay);
        reply.orientation = uint8_t(orientation_);
    } catch (const std::exception&) {
        // memory ran out: the frames end here
    }
    // The file's pages are read again from the page cache when the next
    // loop wants them; a long animation never holds the whole file.
    madvise(file_, fileBytes_, MADV_DONTNEED);
    return reply;
}

JobResult FrameJob::Canvas(const Request& request) {
    JobResult result;
    result.reply.id = request.id;
    result.reply.kind = Reply::Kind::Failed;
    for (int i = 0; i < 2; ++i) {
        const Bitmap& c = canvases_[i];
        if (request.frameId == 0 || canvasIds_[i] != request.frameId || c.Empty()) continue;
        result.whole = SharedCopy("pelumir-picture", {c.Bits(), c.ByteSize()});
        if (!result.whole.ok()) return result;
        Reply& r = result.reply;
        r.kind = Reply::Kind::Done;
        r.width = c.Width();
        r.height = c.Height();
        r.bitsPerPixel = 32;
        r.orientation = uint8_t(orientation_);
        r.wholeSent = 1;
    }
    return result;
}

}  // namespace pelumir::decoding
