#pragma once
// Owning file descriptors and whole writes.
#include <string_view>

namespace pelumir {

// Closes on every path out, errors included.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Closing is where some file systems report a failed write: false then.
    bool Close();

private:
    int fd_;
};

// Writes every byte, going on after interruptions; false on any failure.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace pelumir
