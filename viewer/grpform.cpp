#include "viewer/grpform.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/ErrorDisplay.h"
#include "platform/NativeWindow.h"
#include "platform/ScreenSaver.h"
#include "decoder/Protocol.h"
#include "image/Formats.h"
#include "viewer/BitmapUtils.h"
#include "viewer/InfoOverlay.h"
#include "viewer/StretchDraw.h"

namespace pelumir {

namespace {

// A frame in shared memory about to be replaced on screen: its pages are
// let go, so a moving picture's frames count in the program's memory only
// while shown.
void LetFrameGo(const Bitmap& frame) {
    if (frame.Borrowed()) decoding::LetPagesGo(frame.Bits(), frame.ByteSize());
}

// Seconds to milliseconds in 64 bits, kept modulo 2^32 as the timer takes it.
uint32_t PeriodMs(int seconds) { return uint32_t(int64_t(seconds) * 1000); }

// Paints the frame at (0, 0). A 32-bit one is wrapped without copying (a
// writable buffer keeps QImage from detaching when its ratio is set); a
// 24-bit one goes out in bands turned to 32 bits here, as Qt turns BGR rows
// three times slower than it copies 32-bit ones.
// A moving picture's frame (`letGo`) goes out in bands, each let go once
// drawn: read once, it never counts whole in the program's memory.
void PaintFrame(QPainter& p, Bitmap& frame, qreal dpr, bool letGo) {
    if (frame.BitsPerPixel() != 24) {
        QImage image(frame.Bits(), frame.Width(), frame.Height(), qsizetype(frame.Stride()), QImage::Format_RGB32);
        image.setDevicePixelRatio(dpr);
        if (!letGo) {
            p.drawImage(0, 0, image);
            return;
        }
        constexpr int kBand = 64;
        for (int top = 0; top < frame.Height(); top += kBand) {
            const int rows = std::min(kBand, frame.Height() - top);
            p.drawImage(QPointF(0, top / dpr), image, QRectF(0, top, frame.Width(), rows));
            decoding::LetPagesGo(frame.Row(top), size_t(rows) * frame.Stride());
        }
        return;
    }
    constexpr int kBand = 16;
    QImage band(frame.Width(), kBand, QImage::Format_RGB32);
    band.setDevicePixelRatio(dpr);
    for (int top = 0; top < frame.Height(); top += kBand) {
        const int rows = std::min(kBand, frame.Height() - top);
        for (int r = 0; r < rows; ++r) Row24To32(frame.Row(top + r), band.scanLine(r), frame.Width());
        p.drawImage(QPointF(0, top / dpr), band, QRectF(0, 0, frame.Width(), rows));
    }
}

}  // namespace

TfrmGrpView::TfrmGrpView(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), tmrImgInfo_(PeriodMs(DefaultViewerConfig.ImageInfoTime), this),
      tmrAutoSlide_(PeriodMs(DefaultViewerConfig.AutoSlideTime), this) {
    setObjectName(QStringLiteral("frmGrpView"));
    sequence_.SetRules(Config_.ImageSortType, Config_.LoopMode);
    setModal(true);
    // BackBuffer covers every pixel: no background erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setCursor(Qt::ArrowCursor);
    tmrAutoSlide_.OnTimer = [this] { Guarded([this] { tmrAutoSlideTimer(); }); };
    tmrImgInfo_.OnTimer = [this] { Guarded([this] { tmrImgInfoTimer(); }); };
    // While the decoder works: its answers come through the socket; this
    // looks at the clock, for a decode that has taken too long.
    prepareTimer_.setInterval(50);
    connect(&prepareTimer_, &QTimer::timeout, this, [this] { Guarded([this] { PrepareNextStep(); }); });
    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { Guarded([this] { FrameStep(); }); });
    repeatTimer_.setInterval(0);
    repeatTimer_.setSingleShot(true);
    connect(&repeatTimer_, &QTimer::timeout, this, [this] { Guarded([this] { RunPendingRepeat(); }); });
}

void TfrmGrpView::ApplySettings(const TViewerConfig& config) {
    DropPreparation();
    Config_ = config;
    sequence_.SetRules(Config_.ImageSortType, Config_.LoopMode);
    // Only turning needs the whole picture again; otherwise the rows are
    // fitted into the frame as they are decoded.
    next_.KeepPicture(Config_.RightClickMode == RightClick::RotateClockwise);
    next_.FollowExif(Config_.AutoOrientation);
    next_.OtherFormats(Config_.MoreFormats);
    next_.ColourManaged(Config_.ColourManagement);
    try {
        tmrImgInfo_.SetInterval(PeriodMs(Config_.ImageInfoTime));
    } catch (const Exception&) {
        Config_.ImageInfoTime = DefaultViewerConfig.ImageInfoTime;
        tmrImgInfo_.SetInterval(PeriodMs(Config_.ImageInfoTime));
    }
    try {
        tmrAutoSlide_.SetInterval(PeriodMs(Config_.AutoSlideTime));
    } catch (const Exception&) {
        Config_.AutoSlideTime = DefaultViewerConfig.AutoSlideTime;
        tmrAutoSlide_.SetInterval(PeriodMs(Config_.AutoSlideTime));
    }
}

void TfrmGrpView::ShowModal() {
    QScreen* s = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    // Geometry first, then the state: without a window manager the state
    // alone is ignored, with one the geometry alone may be cut by panels.
    setGeometry(s->geometry());
    setWindowState(Qt::WindowFullScreen);
    // No blanking during the show; let go however it ends, an exception included.
    ScreenSaverInhibitor awake;
    awake.Inhibit("Pelumir", "スライドショーを表示中");
    exec();
}

QSize TfrmGrpView::ViewSize() const {
    // The window system's own count: the logical size times the scale factor
    // is a pixel too many at some factors, and the image would sit off centre.
    const QSize native = NativeVisibleSize(this);
    if (!native.isEmpty()) return native;
    return QSize(qRound(width() * devicePixelRatioF()), qRound(height() * devicePixelRatioF()));
}

int TfrmGrpView::ViewWidth() const { return ViewSize().width(); }
int TfrmGrpView::ViewHeight() const { return ViewSize().height(); }

void TfrmGrpView::FormShow() {
    InfoVisible_ = false;
    DropPreparation();
    next_.NewShow();
    frames_.NewShow();
    // Asked once a show: a colour manager changes it seldom.
    if (Config_.ColourManagement) next_.ScreenProfile(ScreenColourProfile(this, decoding::kMaxProfileBytes));
    sequence_.Start();
    ShowCurrentImage();
}

void TfrmGrpView::FormResize() { ShowCurrentImage(); }

void TfrmGrpView::BuildPlayOrder() { sequence_.Reorder(); }

void TfrmGrpView::ShowCurrentImage() {
    if (!sequence_.IndexValid()) return;
    // Asked of the window system once per change: each question is a round trip.
    const QSize view = ViewSize();
    const int w = view.width(), h = view.height();
    const std::string& path = sequence_.Current();
    ++decodeCount_;
    StopFrames();
    // What plays after this is decided once it is on screen: a next pass
    // drawn meanwhile would take the decoder from the picture waited for.
    nextOrderWanted_ = false;
    // The image made ready ahead is taken when it is this one, at this size,
    // from an unchanged file; anything else is asked for now, the same way.
    if (!next_.Holds(path, w, h)) next_.Start(path, w, h);
    next_.Step();
    changePending_ = true;
    if (waitForEachImage_ || next_.Ready()) FinishChange();
    else WatchDecoder();
}

void TfrmGrpView::FinishChange() {
    if (!changePending_) return;
    next_.Finish();
    CompleteChange();
}

void TfrmGrpView::CompleteChange() {
    changePending_ = false;
    if (pendingRepeat_ != 0) repeatTimer_.start();
    SourceOrientation_ = next_.PictureOrientation();
    SourceColours_ = next_.PictureColours();
    const bool loaded = next_.Loaded();
    const UniqueFd colours = next_.TakeColourMemory();
    const std::string path = next_.Path();
    // A moving picture's last frame is let go; a still picture's frame is
    // kept mapped, as its memory shows the picture after next at once.
    if (frames_.Holds(BackBuffer_)) LetFrameGo(BackBuffer_);
    next_.TakeInto(SourceBitmap_, BackBuffer_);
    const QSize view = ViewSize();
    AimPreparation(view.width(), view.height());
    RefreshView();
    // The frames after the first, when the picture moves.
    if (loaded && Config_.MoreFormats && MayMove(path)) {
        const FramePlayer::Picture picture{path, BackBuffer_.Width(), BackBuffer_.Height(), SourceOrientation_,
                                           colours.get(), Config_.RightClickMode == RightClick::RotateClockwise};
        frames_.Start(picture, FramePlayer::Clock::now());
        WatchFrames();
    }
}

void TfrmGrpView::WatchFrames() {
    const int fd = frames_.Socket();
    if (fd < 0 || !frames_.Playing()) frameNotifier_.reset();
    else if (frameNotifier_ == nullptr || frameNotifier_->socket() != fd) {
        frameNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(frameNotifier_.get(), &QSocketNotifier::activated, this, [this] { Guarded([this] { FrameStep(); }); });
    }
    const std::optional<FramePlayer::Clock::time_point> due = frames_.Due();
    // Only an answer awaited is read: a process ending meanwhile would keep
    // the socket readable until the frame ahead is shown.
    if (frameNotifier_ != nullptr) frameNotifier_->setEnabled(!due);
    if (!due) {
        frameTimer_.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - FramePlayer::Clock::now());
    frameTimer_.start(int(std::clamp<int64_t>(wait.count(), 0, 24 * 3600 * 1000)));
}

void TfrmGrpView::FrameStep() {
    if (!isVisible()) return;
    const std::optional<FramePlayer::Clock::time_point> due = frames_.Due();
    Bitmap shown;
    if (frames_.Step(FramePlayer::Clock::now(), shown)) {
        LetFrameGo(BackBuffer_);
        BackBuffer_ = std::move(shown);
        repaint();
        ++framesShown_;
        if (due && FramePlayer::Clock::now() > *due + kFrameLateness) ++framesLate_;
    }
    WatchFrames();
}

void TfrmGrpView::StopFrames() {
    frames_.Stop();
    frameTimer_.stop();
    frameNotifier_.reset();
}

void TfrmGrpView::AimPreparation(int w, int h) {
    nextOrderWanted_ = false;
    sequence_.DropNextPass();
    switch (sequence_.WhatIsAhead()) {
    case PlaySequence::Ahead::NextImage:
        next_.Start(sequence_.NextImage(), w, h);
        break;
    case PlaySequence::Ahead::NextPass:
        // Drawn when the events waiting now are handled, not at the click.
        nextOrderWanted_ = true;
        QTimer::singleShot(0, this, [this] { Guarded([this] { PrepareNextStep(); }); });
        return;
    case PlaySequence::Ahead::Nothing:
        next_.Cancel();
        return;
    }
    WatchDecoder();
}

void TfrmGrpView::WatchDecoder() {
    const int fd = next_.Socket();
    if (fd < 0) decoderNotifier_.reset();
    else if (decoderNotifier_ == nullptr || decoderNotifier_->socket() != fd) {
        decoderNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(decoderNotifier_.get(), &QSocketNotifier::activated, this,
                [this] { Guarded([this] { PrepareNextStep(); }); });
    }
    if (next_.Waiting()) prepareTimer_.start();
    else prepareTimer_.stop();
}

void TfrmGrpView::PrepareNextStep() {
    if (!isVisible()) {
        prepareTimer_.stop();
        return;
    }
    if (nextOrderWanted_) {
        nextOrderWanted_ = false;
        if (const std::string* first = sequence_.DrawNextPass()) {
            const QSize view = ViewSize();
            next_.Start(*first, view.width(), view.height());
        }
    }
    next_.Step();
    if (changePending_ && next_.Ready()) CompleteChange();
    else WatchDecoder();
}

void TfrmGrpView::DropPreparation() {
    prepareTimer_.stop();
    nextOrderWanted_ = false;
    changePending_ = false;
    sequence_.DropNextPass();
    next_.Cancel();
}

void TfrmGrpView::RefreshView() {
    const std::string text = Config_.ImageInfoType == InfoType::FilePath
                                 ? sequence_.Current()
                                 : PositionText(sequence_.Index() + 1, int(SourceImages.size()));
    if (InfoShow::Shown(Config_.ImageInfoShow)) ShowInfoOverlay(text);
    if (Config_.AutoSlideEnabled) tmrAutoSlide_.Start();
    repaint();
}

void TfrmGrpView::ShowInfoOverlay(const std::string& text) {
    const double dpi = (screen() != nullptr ? screen()->logicalDotsPerInch() : 96.0) * devicePixelRatioF();
    const QSize view = ViewSize();
    InfoBitmap_ = ComposeInfoBox(text, Config_.ImageInfoFontSize, dpi, InfoBoxPixelLimit(view.width(), view.height()));
    InfoBitmap_.setDevicePixelRatio(devicePixelRatioF());
    InfoVisible_ = true;
    if (Config_.ImageInfoShow == InfoShow::ForInfoTime) tmrImgInfo_.Start();
}

void TfrmGrpView::HideInfoOverlay() {
    InfoVisible_ = false;
    repaint();
}

void TfrmGrpView::tmrImgInfoTimer() {
    tmrImgInfo_.Stop();
    HideInfoOverlay();
}

bool TfrmGrpView::AdvanceIndex() { return sequence_.Advance(); }

void TfrmGrpView::tmrAutoSlideTimer() {
    tmrAutoSlide_.Stop();
    if (AdvanceIndex()) ShowCurrentImage();
    else CloseViewer();
}

void TfrmGrpView::FormMouseDown(Qt::MouseButton button) {
    // Thumb and other extra buttons are not the viewer's: they leave even
    // the automatic advance alone.
    if (button != Qt::LeftButton && button != Qt::RightButton && button != Qt::MiddleButton) return;
    tmrAutoSlide_.Stop();
    if (sequence_.List().empty()) return;
    if (button == Qt::LeftButton) {
        if (AdvanceIndex()) ShowCurrentImage();
        else CloseViewer();
    } else if (button == Qt::RightButton) {
        if (Config_.RightClickMode == RightClick::PreviousImage) {
            ShowPreviousImage();
        } else if (Config_.RightClickMode == RightClick::RotateClockwise) {
            RotateCurrentImage();
        }
    }
}

void TfrmGrpView::RotateCurrentImage() {
    // A moving picture stops, and the frame on screen is what turns.
    Bitmap canvas;
    Orientation turn = Orientation::Normal;
    if (frames_.TakeCanvas(canvas, turn, std::chrono::milliseconds(1000))) {
        SourceBitmap_ = std::move(canvas);
        SourceOrientation_ = turn;
    }
    StopFrames();
    ConvertToBit32(SourceBitmap_);
    // The picture is kept as stored; the first turn makes it upright for
    // good, so the turns go round the picture as it is seen.
    if (SourceOrientation_ != Orientation::Normal && !SourceBitmap_.Empty()) {
        SourceBitmap_ = TurnUpright(SourceBitmap_, SourceOrientation_);
        SourceOrientation_ = Orientation::Normal;
    }
    Bitmap rotated = RotateBitmapRight(SourceBitmap_);
    SourceBitmap_ = std::move(rotated);
    const QSize view = ViewSize();
    const int w = view.width(), h = view.height();
    if (BackBuffer_.Width() != w || BackBuffer_.Height() != h)
        BackBuffer_.Allocate(w, h, kFrameBits, Bitmap::Init::Uninitialised);
    if (DrawFitted(SourceBitmap_, BackBuffer_, w, h) && SourceColours_ != nullptr) {
        const FitRect area = ComputeFittedRect(SourceBitmap_.Width(), SourceBitmap_.Height(), w, h);
        SourceColours_->Apply(BackBuffer_, int(area.left), int(area.top), int(area.right), int(area.bottom));
    }
    RefreshView();
}

void TfrmGrpView::ShowPreviousImage() {
    sequence_.Back();
    ShowCurrentImage();
}

void TfrmGrpView::FormKeyDown(int key) {
    switch (key) {
    case Qt::Key_Escape:
        CloseViewer();
        break;
    // Forward is a left click; back is always a step back, whatever the
    // right button is set to do.
    case Qt::Key_Right:
    case Qt::Key_Space:
    case Qt::Key_PageDown:
        FormMouseDown(Qt::LeftButton);
        break;
    case Qt::Key_Left:
    case Qt::Key_PageUp:
    case Qt::Key_Backspace:
        tmrAutoSlide_.Stop();
        if (!sequence_.List().empty()) ShowPreviousImage();
        break;
    default:
        break;
    }
}

void TfrmGrpView::CloseViewer() {
    tmrAutoSlide_.Stop();
    done(QDialog::Accepted);
}

void TfrmGrpView::done(int result) {
    // However the viewer closes, a hidden viewer never advances, and gives
    // back the memory of its pictures: nothing shows them again before the
    // next show makes its own.
    tmrAutoSlide_.Stop();
    pendingRepeat_ = 0;
    repeatTimer_.stop();
    DropPreparation();
    decoderNotifier_.reset();
    StopFrames();
    // The frame on screen lives in the preparation's or the player's
    // memory: let go of it first.
    BackBuffer_.Release();
    SourceBitmap_.Release();
    SourceColours_.reset();
    next_.Release();
    frames_.Release();
    InfoBitmap_ = QImage();
    InfoVisible_ = false;
    QDialog::done(result);
}

void TfrmGrpView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TfrmGrpView::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // Only a real change of the shown window's size draws again: the show
    // has already composed the first image at this size.
    if (!isVisible() || ViewSize() == QSize(BackBuffer_.Width(), BackBuffer_.Height())) return;
    Guarded([this] { FormResize(); });
}

void TfrmGrpView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const qreal dpr = devicePixelRatioF();
    const QSize view = ViewSize();
    if (BackBuffer_.Width() < view.width() || BackBuffer_.Height() < view.height())
        p.fillRect(rect(), Qt::black);
    if (!BackBuffer_.Empty()) PaintFrame(p, BackBuffer_, dpr, frames_.Holds(BackBuffer_));
    if (InfoVisible_ && !InfoBitmap_.isNull()) p.drawImage(0, 0, InfoBitmap_);
}

void TfrmGrpView::mousePressEvent(QMouseEvent* event) {
    Guarded([&] {
        RunPendingRepeat();
        FormMouseDown(event->button());
    });
}

void TfrmGrpView::mouseDoubleClickEvent(QMouseEvent* event) {
    // Qt reports the second press of a double click as a double-click
    // event; it still counts as a press.
    Guarded([&] {
        RunPendingRepeat();
        FormMouseDown(event->button());
    });
}

void TfrmGrpView::keyPressEvent(QKeyEvent* event) {
    // A held key repeats faster than large pictures can be made; taken one
    // by one, the repeats queued meanwhile would go on changing pictures
    // long after the key is let go. Those that arrive together count once,
    // so a held key goes as fast as pictures show and stops when released.
    // Presses of their own, like clicks, each count.
    if (event->isAutoRepeat()) {
        pendingRepeat_ = event->key();
        // Not before the picture asked for last is on screen.
        if (!changePending_) repeatTimer_.start();
        return;
    }
    Guarded([&] {
        RunPendingRepeat();
        FormKeyDown(event->key());
    });
}

void TfrmGrpView::RunPendingRepeat() {
    repeatTimer_.stop();
    if (const int key = std::exchange(pendingRepeat_, 0)) FormKeyDown(key);
}

}  // namespace pelumir
