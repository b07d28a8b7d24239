#pragma once

#include <unistd.h>

#include <utility>

namespace lumarient {

// A file descriptor (pipe, socket, pidfd, ...) closed when this goes. Movable,
// so owners can hand descriptors on and keep them in containers.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    FileDescriptor(FileDescriptor &&other) noexcept : fd_(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    int get() const { return fd_; }
    bool isValid() const { return fd_ >= 0; }
    // Hands the descriptor over without closing it.
    int release() { return std::exchange(fd_, -1); }
    // Closes the descriptor held (if any) and holds `fd` instead. A close error
    // is not reported: the descriptor is gone either way.
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

} // namespace lumarient
