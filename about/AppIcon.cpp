#include "about/AppIcon.h"

#include <QString>

// The resources live in a static library; nothing else references their
// object file, so the linker would drop it without this explicit call.
static void InitPictures() {
    static const bool once = [] {
        Q_INIT_RESOURCE(pelumir);
        return true;
    }();
    (void)once;
}

namespace pelumir {

QIcon AppIcon() {
    InitPictures();
    QIcon icon;
    icon.addFile(QStringLiteral(":/pelumir/pelumir-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/pelumir/pelumir-32.png"), QSize(32, 32));
    return icon;
}

QPixmap AppLogo() {
    InitPictures();
    return QPixmap(QStringLiteral(":/pelumir/logo.png"));
}

}  // namespace pelumir
