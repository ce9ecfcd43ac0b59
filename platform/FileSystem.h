#pragma once
// File-system queries over byte-string paths.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pelumir {

// True when the path names a folder (a symbolic link to one counts).
bool DirectoryExists(const std::string& path);
// True when the path names an existing file: a regular file, never a folder.
// Pipes and devices do not count, so no reader ever blocks on one.
bool FileExists(const std::string& path);
// Every entry of a folder, "." and ".." and hidden names included, in the
// order the file system gives them. Empty when the folder cannot be read.
std::vector<std::string> ListDirectory(const std::string& dir);
// The name of the entry `path` designates, as stored in its folder (its
// stored letter case on a case-folding file system); empty when not found.
std::string StoredEntryName(const std::string& path);

enum class ReadResult { Ok, Missing, Failed, TooLarge };
// Reads a whole regular file into `out` (its storage reused). The open never
// blocks, so a pipe or device named like a file cannot hang the program; it
// gives Failed, as do a folder and a read error. Missing: nothing at the path
// (or a path through a plain file). TooLarge: more than maxBytes, also when
// the file grows past them while we read. `out` is empty unless Ok.
ReadResult ReadWholeFile(const std::string& path, std::string& out, uint64_t maxBytes);
ReadResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes);
// ReadWholeFile for callers that need no reason.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes);

// The file a symbolic link at path leads to, as a full path; path itself when
// it is no link or the link leads nowhere.
std::string ResolveSymlink(const std::string& path);
// Renames from to to unless something is already called to; false then and
// on every other failure.
bool RenameNoReplace(const std::string& from, const std::string& to);

// What tells one version of a file from the next: a file rewritten or
// replaced since it was read has a different stamp. The change time is in
// it because the modification time can be put back (cp -p, touch -r) and a
// rewrite in place keeps the size and the inode; no ordinary tool sets the
// change time.
struct FileStamp {
    bool exists = false;
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    uint64_t device = 0, inode = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of what `path` names now; `exists` false when nothing is there.
FileStamp StampOf(const std::string& path);

// A file's bytes as read in pieces: storage is not zeroed before the file
// is read into it (a 30 MB picture file would be written twice).
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using FileBytes = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

// Opens a regular file for reading, as the readers here do: the open never
// blocks, and a folder, pipe or device gives Failed. Its stamp as opened
// (or of what the path named) goes into `stamp`. -1 unless Ok; TooLarge
// when it holds more than maxBytes.
int OpenRegularFile(const std::string& path, uint64_t maxBytes, FileStamp& stamp, ReadResult& result);

// ReadWholeFile in pieces, for a reader that uses a file as it comes or
// looks up between pieces: the same rules, the same results.
class FileReader {
public:
    FileReader() = default;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    ~FileReader() { Close(); }

    // Opens the file; `out` (its storage reused) must outlive the reading.
    // False when it cannot be read at all; Result() says why.
    bool Open(const std::string& path, FileBytes& out, uint64_t maxBytes);
    // The same on a descriptor opened elsewhere, which the reader then owns
    // and closes.
    bool Adopt(int fd, FileBytes& out, uint64_t maxBytes);
    // Reads about `pieceBytes` more into `out`, which holds what was read so
    // far; true once the reading has ended, with Result() Ok and the whole
    // file in `out`, or failed and `out` empty.
    bool ReadSome(size_t pieceBytes);
    // After a ReadSome that has not ended: reads on into `to` instead of
    // `out`, for a reader that uses the file as it comes. How many bytes
    // (0 at the end), or -1 when the reading failed or passed maxBytes.
    ptrdiff_t ReadOn(uint8_t* to, size_t size);
    // Back to the start with `out` empty, to read the whole file after all;
    // false when the file cannot be read again.
    bool Rewind();
    ReadResult Result() const { return result_; }
    // The stamp of the file as opened (or of what the path named then).
    const FileStamp& Stamp() const { return stamp_; }
    void Close();

private:
    bool End(ReadResult result);

    int fd_ = -1;
    FileBytes* out_ = nullptr;
    uint64_t max_ = 0, cap_ = 0;
    size_t expected_ = 0;
    size_t got_ = 0;
    uint64_t readOn_ = 0;  // bytes given by ReadOn
    static constexpr size_t kAdviseAfter = size_t(1) << 20;
    bool advised_ = false;  // for 2 MiB pages
    ReadResult result_ = ReadResult::Failed;
    FileStamp stamp_;
};

}  // namespace pelumir
