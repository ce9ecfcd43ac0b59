#pragma once
// An image change made ahead of time: the file read, decoded and fitted
// into a frame of its own, exactly as a change at the click makes it, in
// pieces small enough to run between a window's events.
#include <chrono>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/FileSystem.h"
#include "image/ImageFile.h"
#include "viewer/StretchDraw.h"

namespace pelumir {

// How long one piece of preparation may hold the event loop, and how much
// input the decoder takes at a time (the pieces stay well under a
// millisecond or two each, so a step overshoots its budget by little).
inline constexpr std::chrono::microseconds kPrepareStepBudget{2000};
inline constexpr size_t kPreparePieceBytes = 64 * 1024;

class ImagePreparation {
public:
    // Whether the work keeps the whole picture (to turn it later) or only
    // the frame, into which the rows are then fitted as they are decoded.
    // Applies from the next Start.
    void KeepPicture(bool keep) { keepWanted_ = keep; }
    // Whether pictures are shown as their EXIF orientation says. Applies
    // from the next Start.
    void FollowExif(bool follow) { exifWanted_ = follow; }
    // Whether formats beyond JPEG and BMP are read, from the next Start.
    void OtherFormats(bool on) { otherFormats_ = on; }
    // Aims at `path` for a width x height frame, forgetting earlier work.
    // Nothing is read before the first step.
    void Start(const std::string& path, int width, int height, size_t pieceBytes = kPreparePieceBytes);
    // True when aimed at this image and frame size, keeping and orienting
    // the picture as now wanted, and the file has not changed since it was read (a file
    // rewritten meanwhile is read again).
    bool Holds(const std::string& path, int width, int height) const;
    bool Aimed() const { return aimed_; }
    const std::string& Path() const { return path_; }
    // Works until the deadline (at least one piece); true once the frame
    // is ready.
    bool Step(StepDeadline deadline);
    // The rest of the work at once.
    void Finish() { Step(kNoDeadline); }
    bool Ready() const { return aimed_ && fitted_; }
    // Whether the file loaded; a failed one leaves a black frame, as the show has it.
    bool Loaded() const { return load_.Current() == ImageLoad::State::Loaded; }
    // How the kept picture is to be turned for display (the frame shows it
    // turned already); meaningful once Ready, until TakeInto.
    Orientation PictureOrientation() const { return Sink().PictureOrientation(); }
    // Takes the finished work: the decoded image (empty unless kept) and
    // the composed frame change places with `source` and `frame`, whose
    // storage the next preparation reuses. Aims at nothing afterwards.
    void TakeInto(Bitmap& source, Bitmap& frame);
    // Aims at nothing; the storage is kept (Release gives it back).
    void Cancel();
    void Release();

private:
    bool FrameMapped(StepDeadline deadline);
    const RowSink& Sink() const { return keep_ ? static_cast<const RowSink&>(keepSink_) : fitSink_; }

    bool keepWanted_ = true;
    bool otherFormats_ = false;
    bool keep_ = true;
    bool exifWanted_ = true;
    bool exif_ = true;
    bool aimed_ = false;
    bool fitted_ = false;
    std::string path_;
    int width_ = 0, height_ = 0;
    bool frameSized_ = false;
    size_t touched_ = 0;  // how much of a fresh frame has been mapped
    ImageLoad load_;
    FileBytes fileBytes_;
    Bitmap source_, frame_;
    PictureSink keepSink_{source_};
    FittedSink fitSink_;
};

}  // namespace pelumir
