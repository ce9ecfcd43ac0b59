#pragma once
// The program's own pictures, embedded in the executable.
#include <QIcon>
#include <QPixmap>

namespace pelumir {

// The program icon, 16 x 16 and 32 x 32, 16 colours: the main window's icon
// and the About box's.
QIcon AppIcon();
// The About box logo, 73 x 34, 16 colours.
QPixmap AppLogo();

}  // namespace pelumir
