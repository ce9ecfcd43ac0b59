#pragma once
// The full-screen viewer: one image at a time, shrunk to fit and centred on
// black, moved through by clicks, Escape and the automatic advance.
#include <QDialog>
#include <QImage>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Timer.h"
#include "settings/ViewerConfig.h"
#include "viewer/ColourTable.h"
#include "viewer/FramePlayer.h"
#include "viewer/ImagePreparation.h"
#include "viewer/PlaySequence.h"

namespace pelumir {

class TfrmGrpView : public QDialog {
    Q_OBJECT
public:
    explicit TfrmGrpView(QWidget* parent = nullptr);

    // Filled by the image collection before every show.
    std::vector<std::string> SourceImages;

    // Takes a copy of the settings and sets both timers' periods.
    void ApplySettings(const TViewerConfig& config);
    // Opens the show, covering the screen, and returns when it ends.
    void ShowModal();

    // The viewer's operations, each also reachable from a test.
    void FormShow();
    void FormResize();
    void FormMouseDown(Qt::MouseButton button);
    void FormKeyDown(int key);
    void tmrAutoSlideTimer();
    void tmrImgInfoTimer();
    void ShowCurrentImage();
    bool AdvanceIndex();
    void RefreshView();
    void BuildPlayOrder();
    void ShowInfoOverlay(const std::string& text);
    void HideInfoOverlay();
    void RotateCurrentImage();
    // Takes in what the decoder process has sent about the image that plays
    // next (or the one asked for at a change); NextImageReady once it is there.
    void PrepareNextStep();
    bool NextImageReady() const { return next_.Ready(); }
    // Whether a change waits for its picture: the one before stays on
    // screen, and input is answered meanwhile.
    bool ChangePending() const { return changePending_; }
    // Waits for the picture of a pending change and shows it.
    void FinishChange();
    // Makes every change wait for its picture before it returns, as tests
    // that look at each frame want.
    void WaitForEachImage(bool wait) { waitForEachImage_ = wait; }
    // Why pictures cannot be decoded, empty while they can.
    const std::string& DecoderProblem() const { return next_.Problem(); }
    const ImagePreparation& Preparation() const { return next_; }
    // One image back; from the first to the last.
    void ShowPreviousImage();
    // The frames of the moving picture on screen: shown when due.
    void FrameStep();
    const FramePlayer& Frames() const { return frames_; }
    // Frames of moving pictures shown since start, and how many of them
    // went on screen more than kFrameLateness after their time.
    static constexpr std::chrono::milliseconds kFrameLateness{10};
    int FramesShown() const { return framesShown_; }
    int FramesLate() const { return framesLate_; }

    const std::vector<std::string>& PlayList() const { return sequence_.List(); }
    int CurrentIndex() const { return sequence_.Index(); }
    const Bitmap& SourceBitmap() const { return SourceBitmap_; }
    // How SourceBitmap is turned for display; it stays as stored until a turn.
    Orientation SourceOrientation() const { return SourceOrientation_; }
    const Bitmap& BackBuffer() const { return BackBuffer_; }
    const QImage& InfoBitmap() const { return InfoBitmap_; }
    bool InfoVisible() const { return InfoVisible_; }
    const TViewerConfig& Config() const { return Config_; }
    Timer& tmrAutoSlide() { return tmrAutoSlide_; }
    Timer& tmrImgInfo() { return tmrImgInfo_; }
    // The window size in device pixels.
    QSize ViewSize() const;
    int ViewWidth() const;
    int ViewHeight() const;
    // How many images were decoded for display since start: a show decodes
    // each once, whether ahead of its click or at it.
    int DecodeCount() const { return decodeCount_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    void CloseViewer();
    // Starts making the next image ready for a view of w x h device pixels.
    void AimPreparation(int w, int h);
    void DropPreparation();
    // The picture of the change has come: it is shown.
    void CompleteChange();
    // Watches the decoder's socket for answers, and the clock for one that
    // takes too long.
    void WatchDecoder();
    // Plays the picture just shown when it may move.
    void StartFrames(const std::string& path);
    // Watches the frames' decoder and the next frame's time.
    void WatchFrames();
    void StopFrames();

    Timer tmrImgInfo_;
    Timer tmrAutoSlide_;
    PlaySequence sequence_{SourceImages};
    Bitmap SourceBitmap_;
    Orientation SourceOrientation_ = Orientation::Normal;
    // What turns the kept picture's colours into the screen's; none when they stay.
    std::shared_ptr<const ColourTable> SourceColours_;
    Bitmap BackBuffer_;
    QImage InfoBitmap_;
    bool InfoVisible_ = false;
    TViewerConfig Config_;
    // The image that plays next, made ready while this one is looked at.
    ImagePreparation next_;
    QTimer prepareTimer_;
    std::unique_ptr<QSocketNotifier> decoderNotifier_;
    bool changePending_ = false;
    // The moving picture on screen.
    FramePlayer frames_;
    QTimer frameTimer_;
    std::unique_ptr<QSocketNotifier> frameNotifier_;
    int framesShown_ = 0, framesLate_ = 0;
    bool waitForEachImage_ = false;
    // A held key's repeats that came in while a picture was being made,
    // merged into one press run when the queue is empty.
    int pendingRepeat_ = 0;
    QTimer repeatTimer_;
    void RunPendingRepeat();
    // At the end of a looping pass: the next pass's order is drawn in the
    // first idle step, not at the click.
    bool nextOrderWanted_ = false;
    int decodeCount_ = 0;
};

}  // namespace pelumir
