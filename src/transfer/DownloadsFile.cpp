#include "transfer/DownloadsFile.h"

#include "transfer/DownloadName.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace lumarient {

std::optional<std::uint64_t> DownloadsFile::freeSpaceOf(int descriptor)
{
    struct statvfs info {};
    if (::fstatvfs(descriptor, &info) != 0)
        return std::nullopt;
    return std::uint64_t(info.f_bavail) * std::uint64_t(info.f_frsize);
}

DownloadsFile::DownloadsFile(QString folder, FreeSpace freeSpace)
    : folder_(std::move(folder)), freeSpace_(std::move(freeSpace))
{
}

DownloadsFile::~DownloadsFile()
{
    remove();
}

bool DownloadsFile::create(const QString &name)
{
    if (folder_.isEmpty() || !QDir().mkpath(folder_))
        return false;
    const QDir folder(folder_);
    for (int number = 1; number < 100000; ++number) {
        const QString candidate = numberedFileName(name, number);
        const QByteArray path = QFile::encodeName(folder.filePath(candidate));
        FileDescriptor descriptor(::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (descriptor.isValid()) {
            descriptor_ = std::move(descriptor);
            fileName_ = candidate;
            path_ = path;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool DownloadsFile::append(const char *data, std::size_t length)
{
    if (!descriptor_.isValid())
        return false;
    if (freeSpace_) {
        const std::optional<std::uint64_t> free = freeSpace_(descriptor_.get());
        if (free && *free < length)
            return false;
    }
    while (length > 0) {
        const ssize_t written = ::write(descriptor_.get(), data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        length -= std::size_t(written);
    }
    return true;
}

void DownloadsFile::keep()
{
    descriptor_.reset(); // the bytes are written; a close error changes nothing now
    path_.clear();
}

void DownloadsFile::remove()
{
    descriptor_.reset();
    if (!path_.isEmpty())
        ::unlink(path_.constData());
    path_.clear();
}

} // namespace lumarient
