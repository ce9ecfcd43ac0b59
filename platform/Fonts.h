#pragma once
// The Japanese user-interface face, with free faces standing in for the
// Windows ones this platform lacks.
#include <QFont>

namespace pelumir {

// "ＭＳ Ｐゴシック" 12 pixels high where it exists, else IPAPGothic or Noto Sans CJK JP.
QFont UiFont();
// Sets UiFont() as the application font; call before any window is made.
void InstallUiFont();

}  // namespace pelumir
