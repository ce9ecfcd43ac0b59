#include "platform/Fonts.h"

#include <QGuiApplication>
#include <QStringList>

namespace pelumir {

QFont UiFont() {
    QFont font;
    // Qt skips the names it does not know; IPAPGothic has the Windows face's metrics.
    font.setFamilies(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                 QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                 // Names hold emoji too; without it they draw as boxes.
                                 QStringLiteral("Noto Color Emoji")});
    font.setPixelSize(12);
    return font;
}

void InstallUiFont() { QGuiApplication::setFont(UiFont()); }

}  // namespace pelumir
