#pragma once
// The file and folder choosers. Always Qt's own dialog, so filters, the
// default extension and the overwrite rule behave the same on every desktop
// (a desktop's native chooser would read "*.*" as "names with a dot" and may
// ask before replacing a file).
#include <QString>
#include <QStringList>

class QWidget;

namespace pelumir {

enum class FileDialogKind {
    OpenFiles,    // one or more existing files
    OpenAnyName,  // one name, which need not exist
    Save,         // one name; an existing file is replaced without a question
};

struct FileDialogSetup {
    FileDialogKind kind = FileDialogKind::OpenFiles;
    // "description (patterns)" entries shown as given; the first is selected.
    // A "*.*" pattern lists every file, with or without a dot in its name.
    QStringList filters;
    // Added with a "." to a chosen name that has no extension.
    QString defaultSuffix;
    // The name the dialog starts with; a full path also opens its folder.
    QString fileName;
};

// The chosen paths in the dialog's order; empty when the user cancels.
QStringList ChooseFiles(QWidget* parent, const FileDialogSetup& setup);

// The chosen folder; empty when the user cancels.
QString ChooseFolder(QWidget* parent, const QString& title);

}  // namespace pelumir
