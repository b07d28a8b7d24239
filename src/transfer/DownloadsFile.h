#pragma once

#include "platform/FileDescriptor.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace lumarient {

// One file being received into the Downloads folder. It is created exclusively
// under the first free numbered name, so two transfers of one name at once never
// share a file, and it is removed again unless the transfer completes.
class DownloadsFile {
public:
    // Bytes the file's file system can still take, or nothing when unknown.
    using FreeSpace = std::function<std::optional<std::uint64_t>(int descriptor)>;
    static std::optional<std::uint64_t> freeSpaceOf(int descriptor);

    DownloadsFile(QString folder, FreeSpace freeSpace);
    ~DownloadsFile();

    DownloadsFile(const DownloadsFile &) = delete;
    DownloadsFile &operator=(const DownloadsFile &) = delete;

    // Creates the file for `name` (already safe for the file system), making the
    // folder when it is missing. False when no file could be made.
    bool create(const QString &name);
    // False on a write error, or when the bytes would not fit the free space left:
    // a stream of unknown length must never fill the disk.
    bool append(const char *data, std::size_t length);
    // Closes the file and keeps it.
    void keep();
    // Closes and deletes the file, if there is one.
    void remove();

    // The file's name in the folder once created.
    const QString &fileName() const { return fileName_; }

private:
    QString folder_;
    FreeSpace freeSpace_;
    QString fileName_;
    QByteArray path_;
    FileDescriptor descriptor_;
};

} // namespace lumarient
