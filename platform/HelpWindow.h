#pragma once
// Our help engine: a small window over the help file beside the executable,
// with a contents page and a keyword search.
#include <QString>

class QWidget;

namespace pelumir {

// Shows the help file's contents page. A missing or unreadable help file is
// reported by the help window itself.
void ShowHelpContents(QWidget* owner, const QString& helpFile);
// Opens the keyword search of the help file, started with `keyword`.
void ShowHelpKeywordSearch(QWidget* owner, const QString& helpFile, const QString& keyword);

}  // namespace pelumir
