#pragma once

#include <QString>

namespace lumarient {

// The desktop's clipboard. `setText` may be called from any thread; the text is
// placed on the clipboard from the main thread, replacing whatever it held.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    virtual void setText(const QString &text) = 0;
};

} // namespace lumarient
