#pragma once
// A moving picture, a frame at a time: each frame composed by its source,
// fitted into the frame memory the program hands over, and turned into the
// screen's colours by the table its still picture was turned by.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoder/DecodeJob.h"
#include "decoder/Protocol.h"
#include "image/Animation.h"
#include "image/Orientation.h"
#include "platform/Bitmap.h"
#include "viewer/ColourTable.h"

namespace pelumir::decoding {

class FrameJob {
public:
    FrameJob() = default;
    FrameJob(const FrameJob&) = delete;
    FrameJob& operator=(const FrameJob&) = delete;
    ~FrameJob() { End(); }

    // A new moving picture from the file `fd`, turned by the table in the
    // shared memory `tableFd` (-1: colours stay); both owned from here. The
    // one before ends. A still or unreadable picture has no frames.
    void Begin(const Request& request, int fd, int tableFd);
    // The next frame into `frame`, a frameWidth x frameHeight frame of
    // `frameBytes`, starting over for each loop the file asks for. A frame
    // that cannot be read ends the loop there. Failed once the frames end.
    Reply Next(const Request& request, uint8_t* frame, size_t frameBytes);
    // The whole frame answered to NextFrame `request.frameId`, when it is
    // one of the last two (only kept while the program may turn them).
    JobResult Canvas(const Request& request);

private:
    void End();

    uint8_t* file_ = nullptr;
    size_t fileBytes_ = 0;
    std::unique_ptr<FrameSource> source_;
    ColourTable colours_;
    bool coloured_ = false;
    Orientation orientation_ = Orientation::Normal;
    bool keep_ = false;
    int loopsDone_ = 0, framesThisLoop_ = 0;
    // While turning may be asked for: the last two frames composed, and
    // which NextFrame each answered.
    Bitmap canvases_[2];
    uint32_t canvasIds_[2] = {};
    int current_ = 0;
    Bitmap frame_;
};

}  // namespace pelumir::decoding
