#include "appwindows/WatcherLineBuffer.h"

#include "tooling/Shell.h"

namespace lumarient {

QStringList WatcherLineBuffer::append(const QByteArray &bytes)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', start);
        const qsizetype end = newline < 0 ? bytes.size() : newline;
        if (!discarding_)
            pending_.append(bytes.constData() + start, end - start);
        if (pending_.size() > maximumLineLength) {
            pending_.clear();
            discarding_ = true;
        }
        if (newline < 0)
            break;
        if (!discarding_) {
            if (pending_.endsWith('\r'))
                pending_.chop(1);
            const QString line = Shell::decodeOutput(pending_);
            if (!line.isEmpty() || pending_.isEmpty())
                lines.append(line);
        }
        pending_.clear();
        discarding_ = false;
        start = newline + 1;
    }
    return lines;
}

void WatcherLineBuffer::clear()
{
    pending_.clear();
    discarding_ = false;
}

} // namespace lumarient
