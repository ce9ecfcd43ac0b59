#pragma once
// An image change made ahead of time: the file opened here and handed to
// the decoder process, which fits the picture into a frame of shared
// memory while the current picture is looked at, exactly as a change at
// the click makes it.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "image/Orientation.h"
#include "platform/Bitmap.h"
#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"
#include "viewer/ColourTable.h"
#include "viewer/DecoderLink.h"

namespace pelumir {

class ImagePreparation {
public:
    ImagePreparation() = default;
    ImagePreparation(const ImagePreparation&) = delete;
    ImagePreparation& operator=(const ImagePreparation&) = delete;
    ~ImagePreparation() { Release(); }

    // Whether the work keeps the whole picture (to turn it later) or only
    // the frame. Applies from the next Start.
    void KeepPicture(bool keep) { keepWanted_ = keep; }
    // Whether pictures are shown as their EXIF orientation says. Applies
    // from the next Start.
    void FollowExif(bool follow) { exifWanted_ = follow; }
    // Whether formats beyond JPEG and BMP are read, from the next Start.
    void OtherFormats(bool on) { otherFormats_ = on; }
    // Whether pictures are shown in the screen's colours, and the screen's
    // profile (empty: sRGB), from the next Start.
    void ColourManaged(bool on) { colourWanted_ = on; }
    void ScreenProfile(std::vector<uint8_t> profile) { link_.SetScreenProfile(std::move(profile)); }
    // Aims at `path` for a width x height frame, forgetting earlier work.
    void Start(const std::string& path, int width, int height);
    // True when aimed at this image and frame size, keeping, orienting and
    // colouring the picture as now wanted, and the file has not changed since it was
    // opened (a file rewritten meanwhile is read again).
    bool Holds(const std::string& path, int width, int height) const;
    bool Aimed() const { return aimed_; }
    const std::string& Path() const { return path_; }
    // Takes in the decoder's answer, waiting at most `wait` for it; true
    // once the frame is ready.
    bool Step(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    // Waits for the frame.
    void Finish();
    bool Ready() const { return aimed_ && ready_; }
    // Whether the file loaded; a failed one leaves a black frame, as the show has it.
    bool Loaded() const { return loaded_; }
    // How the kept picture is to be turned for display (the frame shows it
    // turned already); meaningful once Ready, until TakeInto.
    Orientation PictureOrientation() const { return orientation_; }
    // What turns the kept picture's colours into the screen's as the frame
    // shows them; none when they stay. Meaningful once Ready, until TakeInto.
    std::shared_ptr<const ColourTable> PictureColours() const { return colours_; }
    // The same table's bytes in shared memory, to hand to another process;
    // invalid when colours stay. Meaningful once Ready, until TakeInto.
    UniqueFd TakeColourMemory() { return std::move(colourMemory_); }
    // Takes the finished work: the decoded image (empty unless kept) and
    // the frame, which shows the shared memory it was made in until the
    // next frame is taken. Aims at nothing afterwards.
    void TakeInto(Bitmap& source, Bitmap& frame);
    // Aims at nothing.
    void Cancel();
    // Aims at nothing and gives the frames' memory back; a frame taken
    // before must not be shown any more. The decoder process stays unless busy.
    void Release();
    // The socket the decoder answers on, -1 when no decoder runs.
    int Socket() const { return link_.Socket(); }
    // Whether a decoder process has been asked and has not answered yet.
    bool Waiting() const { return link_.Waiting(); }
    // A new show: a decoder that kept dying may be started again.
    void NewShow() { link_.NewShow(); }
    // Why pictures cannot be decoded, empty while they can.
    const std::string& Problem() const { return link_.Problem(); }
    const DecoderLink& Link() const { return link_; }

private:
    void Answered(DecoderLink::Answer& answer);
    void Black();

    bool keepWanted_ = true;
    bool otherFormats_ = false;
    bool keep_ = true;
    bool exifWanted_ = true;
    bool exif_ = true;
    bool colourWanted_ = true;
    bool colour_ = true;
    bool aimed_ = false;
    bool ready_ = false;
    bool loaded_ = false;
    std::string path_;
    int width_ = 0, height_ = 0;
    FileStamp stamp_;
    Orientation orientation_ = Orientation::Normal;
    std::shared_ptr<const ColourTable> colours_;
    UniqueFd colourMemory_;
    DecoderLink link_;
    // Two frames: the one taken last (shown) and the one being made.
    decoding::SharedFrame frames_[2];
    int target_ = 0;
    Bitmap source_, frame_;
};

}  // namespace pelumir
