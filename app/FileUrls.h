#pragma once
// The local files a drag or the clipboard carries as URLs (text/uri-list),
// as the path bytes they name.
#include <string>
#include <vector>

class QMimeData;
class QUrl;

namespace pelumir {

// A file URL naming a file of this machine: no host, "localhost" or this
// machine's own name.
bool IsThisMachinesFile(const QUrl& url);

// The local file URLs' paths, percent-decoded to their bytes, whole (up to
// a NUL, if any) and in the order given; other URLs are left out.
std::vector<std::string> LocalFileNames(const QMimeData* mime);

}  // namespace pelumir
