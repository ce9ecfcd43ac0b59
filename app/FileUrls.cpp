#include "app/FileUrls.h"

#include <QMimeData>
#include <QSysInfo>
#include <QUrl>
#include <algorithm>

namespace pelumir {

namespace {

// The path exactly as its bytes stand, so names that are not valid UTF-8
// arrive unchanged; up to a NUL, which no name holds and which would end the
// saved list there.
std::string LocalPathBytes(const QUrl& url) {
    std::string path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
    path.resize(std::min(path.size(), path.find('\0')));
    return path;
}

}  // namespace

bool IsThisMachinesFile(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    // Another machine's path read here would name a different file, or none.
    const QString host = url.host();
    return host.isEmpty() || host.compare(u"localhost", Qt::CaseInsensitive) == 0 ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

std::vector<std::string> LocalFileNames(const QMimeData* mime) {
    std::vector<std::string> names;
    if (mime == nullptr || !mime->hasUrls()) return names;
    const QList<QUrl> urls = mime->urls();
    names.reserve(size_t(urls.size()));
    for (const QUrl& url : urls)
        if (IsThisMachinesFile(url)) names.push_back(LocalPathBytes(url));
    return names;
}

}  // namespace pelumir
