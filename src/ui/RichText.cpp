#include "ui/RichText.h"

namespace lumarient {

QString boldSpansToHtml(const QString &text)
{
    const QString marker = QStringLiteral("**");
    QString html;
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = text.indexOf(marker, from);
        const qsizetype close = open < 0 ? -1 : text.indexOf(marker, open + 2);
        if (close < 0) {
            html += text.mid(from).toHtmlEscaped();
            return html;
        }
        html += text.mid(from, open - from).toHtmlEscaped();
        html += QStringLiteral("<b>") + text.mid(open + 2, close - open - 2).toHtmlEscaped() + QStringLiteral("</b>");
        from = close + 2;
    }
}

} // namespace lumarient
