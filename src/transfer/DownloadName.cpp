#include "transfer/DownloadName.h"

#include <QStringList>

namespace lumarient {

namespace {

constexpr qsizetype maximumNameBytes = 255;

void dropLastCharacter(QString &text)
{
    text.chop(text.size() >= 2 && text.back().isLowSurrogate() && text[text.size() - 2].isHighSurrogate() ? 2 : 1);
}

bool isOneCharacter(const QString &text)
{
    return text.size() == 1 || (text.size() == 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate());
}

// Marks that reorder how the name is shown ("photo\u202Egpj.exe" reads as
// "photoexe.jpg"), so a name could pass for another type of file.
bool isBidiControl(QChar character)
{
    const char16_t code = character.unicode();
    return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

} // namespace

QString safeFileName(const std::optional<QString> &name)
{
    QString kept;
    if (name) {
        // Trailing slashes do not count: "photos/" names "photos".
        const QStringList components = name->split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (!components.isEmpty()) {
            for (QChar character : components.back()) {
                if (character.category() != QChar::Other_Control && !isBidiControl(character))
                    kept.append(character);
            }
        }
    }
    if (kept.isEmpty() || kept == QLatin1String(".") || kept == QLatin1String(".."))
        return QStringLiteral("Shared file");
    return kept;
}

QString numberedFileName(const QString &name, int number)
{
    // A leading dot names a hidden file rather than starting an extension.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool hasExtension = dot > 0 && dot < name.size() - 1;
    QString base = hasExtension ? name.left(dot) : name;
    QString extension = hasExtension ? name.mid(dot + 1) : QString();

    const auto compose = [&] {
        QString candidate = base;
        if (number > 1)
            candidate += QStringLiteral(" (%1)").arg(number);
        if (hasExtension)
            candidate += QLatin1Char('.') + extension;
        return candidate;
    };
    QString candidate = compose();
    while (candidate.toUtf8().size() > maximumNameBytes) {
        // The base keeps its first character: without it "x.eee..." would
        // become the hidden file ".eee...".
        dropLastCharacter(isOneCharacter(base) || base.isEmpty() ? extension : base);
        candidate = compose();
    }
    return candidate;
}

} // namespace lumarient
