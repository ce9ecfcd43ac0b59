#include "platform/FileDialogs.h"

#include <QComboBox>
#include <QFileDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace pelumir {

namespace {

// Qt takes "*.*" literally: it hides "README", and when a save dialog's
// filter is switched to it, Qt rewrites a typed "list.txt" as "list.*".
// The dialog therefore filters with "*", and the entry keeps its "*.*" text.
QString FilterForQt(const QString& filter) {
    const qsizetype open = filter.lastIndexOf(u'(');
    if (open < 0 || !filter.endsWith(u')')) return filter;
    QStringList patterns = filter.mid(open + 1, filter.size() - open - 2).split(u' ', Qt::SkipEmptyParts);
    for (QString& pattern : patterns)
        if (pattern == u"*.*") pattern = QStringLiteral("*");
    return filter.left(open + 1) + patterns.join(u' ') + u')';
}

void SetFilters(QFileDialog& dialog, const QStringList& filters) {
    QStringList forQt;
    for (const QString& filter : filters) forQt << FilterForQt(filter);
    dialog.setNameFilters(forQt);
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (combo == nullptr) return;
    for (int i = 0; i < combo->count() && i < filters.size(); ++i) combo->setItemText(i, filters[i]);
}

// Qt's dialog keeps its history in ~/.config/QtProject.conf, outside the
// program's own folder, and offers no switch for it: while one is open,
// that file is one in a folder of its own that goes with the dialog.
class DialogStateAside {
public:
    DialogStateAside() {
        if (dir_.isValid()) SetUserPath(dir_.path());
    }
    ~DialogStateAside() {
        if (dir_.isValid()) SetUserPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
    DialogStateAside(const DialogStateAside&) = delete;
    DialogStateAside& operator=(const DialogStateAside&) = delete;

private:
    static void SetUserPath(const QString& path) {
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, path);
    }
    QTemporaryDir dir_;
};

}  // namespace

QStringList ChooseFiles(QWidget* parent, const FileDialogSetup& setup) {
    const DialogStateAside aside;  // made before the dialog, gone after it
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    switch (setup.kind) {
    case FileDialogKind::OpenFiles:
        dialog.setFileMode(QFileDialog::ExistingFiles);
        break;
    case FileDialogKind::OpenAnyName:
        dialog.setFileMode(QFileDialog::AnyFile);
        break;
    case FileDialogKind::Save:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        break;
    }
    SetFilters(dialog, setup.filters);
    dialog.setDefaultSuffix(setup.defaultSuffix);
    if (!setup.fileName.isEmpty()) dialog.selectFile(setup.fileName);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

QString ChooseFolder(QWidget* parent, const QString& title) {
    const DialogStateAside aside;
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

}  // namespace pelumir
