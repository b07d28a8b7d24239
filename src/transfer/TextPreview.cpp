#include "transfer/TextPreview.h"

#include <QTextBoundaryFinder>

namespace lumarient {

QString textPreview(const QString &text)
{
    constexpr int previewCharacters = 80;
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, text);
    int characters = 0;
    qsizetype end = 0;
    while (characters < previewCharacters) {
        const qsizetype next = boundaries.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
        ++characters;
    }
    if (end >= text.size())
        return text;
    return text.left(end) + QChar(0x2026);
}

} // namespace lumarient
