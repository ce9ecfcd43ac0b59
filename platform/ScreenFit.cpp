#include "platform/ScreenFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "platform/NativeWindow.h"

namespace pelumir {

namespace {

// The frame of the last window that had one: the best guess for a window
// that is about to be shown for the first time.
QMargins& LastFrame() {
    static QMargins frame;
    return frame;
}

// Qt learns a window's frame only some time after the window manager has
// set it; the window manager's own word is asked first.
QMargins KnownFrame(const QWidget* w) {
    const QMargins told = WindowManagerFrame(w);
    if (!told.isNull()) return told;
    const QRect outer = w->frameGeometry(), inner = w->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

QMargins FrameOf(const QWidget* w) {
    const QMargins frame = KnownFrame(w);
    if (!frame.isNull()) LastFrame() = frame;
    return frame.isNull() ? LastFrame() : frame;
}

QRect AvailableArea(const QWidget* w) {
    const QScreen* s = w->screen() != nullptr ? w->screen() : QGuiApplication::primaryScreen();
    if (s == nullptr) return {};
    // At a fractional scale the logical area and frame are rounded from the
    // device's pixels and may be a pixel larger than they are: keep clear.
    const qreal ratio = s->devicePixelRatio();
    return ratio == qRound(ratio) ? s->availableGeometry() : s->availableGeometry().adjusted(1, 1, -1, -1);
}

// Windows the rule applies to: ours with a frame, not the full-screen viewer,
// menus or tool tips.
bool IsPlacedWindow(const QWidget* w) {
    if (!w->isWindow()) return false;
    const Qt::WindowType type = w->windowType();
    if (type != Qt::Window && type != Qt::Dialog) return false;
    return !w->windowFlags().testFlag(Qt::FramelessWindowHint) && !w->isFullScreen();
}

// A window of fixed size whose controls stand where they were put would
// lose the ones past its new edge: they move into a scrolling area instead.
void ScrollFixedContent(QWidget* w, QSize inside) {
    if (w->minimumSize() != w->maximumSize() || w->layout() != nullptr) {
        w->resize(inside);
        return;
    }
    auto* area = w->findChild<QScrollArea*>(QStringLiteral("pelumirFitArea"), Qt::FindDirectChildrenOnly);
    if (area == nullptr) {
        auto* content = new QWidget;
        content->setFixedSize(w->size());
        const QList<QWidget*> children = w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* child : children) {
            if (child->isWindow()) continue;
            const bool shown = !child->isHidden();
            const QRect place = child->geometry();
            child->setParent(content);
            child->setGeometry(place);
            child->setVisible(shown);
        }
        area = new QScrollArea(w);
        area->setObjectName(QStringLiteral("pelumirFitArea"));
        area->setFrameShape(QFrame::NoFrame);
        area->setWidget(content);
        area->show();
    }
    w->setFixedSize(inside);
    area->setGeometry(0, 0, inside.width(), inside.height());
}

void Place(QWidget* w) {
    if (qobject_cast<QMessageBox*>(w) != nullptr) CentreOnScreen(w);
    else FitOnScreen(w);
}

}  // namespace

namespace {

// Puts the frame's top-left corner at `outer`. Qt's move() places the frame
// it knows of, which may still be none while the window manager has one.
void MoveFrameTo(QWidget* w, QPoint outer, const QMargins& frame) {
    const QPoint qtFrameOffset = w->geometry().topLeft() - w->frameGeometry().topLeft();
    const QPoint target = outer + QPoint(frame.left(), frame.top()) - qtFrameOffset;
    if (target != w->pos()) w->move(target);
}

}  // namespace

void FitOnScreen(QWidget* w) {
    const QRect area = AvailableArea(w);
    if (area.isEmpty()) return;
    const QMargins frame = FrameOf(w);
    const QSize room = area.size().shrunkBy(frame);
    if (w->width() > room.width() || w->height() > room.height())
        ScrollFixedContent(w, w->size().boundedTo(room).expandedTo(QSize(1, 1)));
    const QRect outer = w->geometry().marginsAdded(frame);
    const int x = std::clamp(outer.left(), area.left(), std::max(area.left(), area.left() + area.width() - outer.width()));
    const int y = std::clamp(outer.top(), area.top(), std::max(area.top(), area.top() + area.height() - outer.height()));
    if (QPoint(x, y) != outer.topLeft()) MoveFrameTo(w, QPoint(x, y), frame);
}

void CentreOnScreen(QWidget* w) {
    const QRect area = AvailableArea(w);
    if (area.isEmpty()) return;
    const QMargins frame = FrameOf(w);
    const QSize outer = w->size().grownBy(frame);
    MoveFrameTo(w, QPoint(area.left() + (area.width() - outer.width()) / 2, area.top() + (area.height() - outer.height()) / 2),
                frame);
    FitOnScreen(w);
}

void UseOwnersScreen(QWidget* w) {
    const QWidget* owner = w->parentWidget() != nullptr ? w->parentWidget()->window() : nullptr;
    QScreen* s = owner != nullptr ? owner->screen() : nullptr;
    if (s != nullptr && w->screen() != s) w->setScreen(s);
}

namespace {

// The window manager tells the frame a moment after the window is on
// screen, without an event of its own: look again until it is known.
void PlaceOnceFramed(QPointer<QWidget> w, int triesLeft) {
    if (!w || !w->isVisible()) return;
    const bool framed = !KnownFrame(w).isNull();
    Place(w);
    if (framed) return;
    if (triesLeft > 0) QTimer::singleShot(50, w, [w, triesLeft] { PlaceOnceFramed(w, triesLeft - 1); });
}

}  // namespace

void KeepWindowOnScreen(QObject* receiver, const QEvent* event) {
    if (event->type() != QEvent::Show || event->spontaneous() || !receiver->isWidgetType()) return;
    auto* w = static_cast<QWidget*>(receiver);
    if (!IsPlacedWindow(w)) return;
    Place(w);
    // Placed with its frame once; from then on the window is the user's to move.
    QTimer::singleShot(0, w, [w = QPointer<QWidget>(w)] { PlaceOnceFramed(w, 200); });
}

bool IsPlacementEvent(const QEvent* event) { return event->type() == QEvent::Show; }

}  // namespace pelumir
