#pragma once

#include <QString>

namespace lumarient {

// Shows the user a short desktop notification. Implementations return at once,
// may be called from any thread, and swallow every failure: a notification that
// cannot be shown is simply not shown.
class Notifier {
public:
    virtual ~Notifier() = default;

    virtual void notify(const QString &title, const QString &body) = 0;
};

} // namespace lumarient
