#pragma once
// Every window of ours opens inside its screen's available area, shrunk to
// fit where it must; message boxes open centred on the screen.
class QEvent;
class QObject;
class QWidget;

namespace pelumir {

// The events KeepWindowOnScreen looks at.
bool IsPlacementEvent(const QEvent* event);
// Called after an event was delivered; acts on the showing of a top-level
// window, and once more when the window manager has told its frame.
void KeepWindowOnScreen(QObject* receiver, const QEvent* event);

// The placement rule on its own: moves the window, and shrinks it when it
// is larger than the area, so that its frame lies inside the available area.
void FitOnScreen(QWidget* window);
// Centres the window's frame on the available area.
void CentreOnScreen(QWidget* window);

// Puts a window on the monitor of the window it belongs to (its parent's),
// where it opens; a window system would otherwise pick the first monitor.
void UseOwnersScreen(QWidget* window);

}  // namespace pelumir
