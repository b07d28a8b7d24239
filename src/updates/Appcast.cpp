#include "updates/Appcast.h"

#include <QXmlStreamReader>

namespace lumarient {
namespace {

const QString sparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");
constexpr qsizetype signatureBytes = 64;

struct ItemFields {
    AppcastItem item;
    bool hasEnclosure = false;
    bool otherSystem = false;
};

void readEnclosure(const QXmlStreamAttributes &attributes, ItemFields &fields)
{
    fields.hasEnclosure = true;
    fields.item.packageUrl = QUrl(attributes.value(QStringLiteral("url")).toString().trimmed(), QUrl::StrictMode);
    bool ok = false;
    const qint64 length = attributes.value(QStringLiteral("length")).toLongLong(&ok);
    fields.item.length = ok && length > 0 ? length : 0;
    const QByteArray signature =
        QByteArray::fromBase64(attributes.value(sparkleNamespace, QStringLiteral("edSignature")).toLatin1(),
                               QByteArray::AbortOnBase64DecodingErrors);
    fields.item.signature = signature.size() == signatureBytes ? signature : QByteArray();
    // Versions may sit on the enclosure instead of the item.
    if (const auto version = attributes.value(sparkleNamespace, QStringLiteral("version")); !version.isEmpty())
        fields.item.version = version.toString().trimmed();
    if (const auto shortVersion = attributes.value(sparkleNamespace, QStringLiteral("shortVersionString"));
        !shortVersion.isEmpty())
        fields.item.shortVersion = shortVersion.toString().trimmed();
    const auto os = attributes.value(sparkleNamespace, QStringLiteral("os"));
    fields.otherSystem = !os.isEmpty() && os.compare(QStringLiteral("linux"), Qt::CaseInsensitive) != 0;
}

bool usable(const ItemFields &fields)
{
    const AppcastItem &item = fields.item;
    const QString scheme = item.packageUrl.scheme();
    return fields.hasEnclosure && !fields.otherSystem && !item.version.isEmpty() && item.packageUrl.isValid() &&
           (scheme == QStringLiteral("https") || scheme == QStringLiteral("http")) && item.length > 0 &&
           !item.signature.isEmpty();
}

// Reads one <item>, the reader standing on its start element.
ItemFields readItem(QXmlStreamReader &xml)
{
    ItemFields fields;
    while (xml.readNextStartElement()) {
        const auto name = xml.name();
        const bool sparkle = xml.namespaceUri() == sparkleNamespace;
        if (name == QStringLiteral("enclosure") && xml.namespaceUri().isEmpty()) {
            readEnclosure(xml.attributes(), fields);
            xml.skipCurrentElement();
        } else if (name == QStringLiteral("title") && xml.namespaceUri().isEmpty()) {
            fields.item.title = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (sparkle && name == QStringLiteral("version")) {
            fields.item.version = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (sparkle && name == QStringLiteral("shortVersionString")) {
            fields.item.shortVersion = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (sparkle && name == QStringLiteral("releaseNotesLink")) {
            fields.item.releaseNotes =
                QUrl(xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed(), QUrl::StrictMode);
        } else {
            xml.skipCurrentElement();
        }
    }
    return fields;
}

// Splits a version into runs of digits and single other characters, dropping
// the separators' meaning: "1.10b2" is 1 . 10 b 2.
QList<QStringView> versionParts(QStringView version)
{
    QList<QStringView> parts;
    qsizetype i = 0;
    while (i < version.size()) {
        qsizetype end = i + 1;
        if (version[i].isDigit()) {
            while (end < version.size() && version[end].isDigit())
                ++end;
        }
        parts.append(version.mid(i, end - i));
        i = end;
    }
    return parts;
}

int compareNumbers(QStringView left, QStringView right)
{
    while (left.size() > 1 && left.front() == u'0')
        left = left.mid(1);
    while (right.size() > 1 && right.front() == u'0')
        right = right.mid(1);
    if (left.size() != right.size())
        return left.size() < right.size() ? -1 : 1;
    return left.compare(right);
}

bool isZeroTail(const QList<QStringView> &parts, qsizetype from)
{
    for (qsizetype i = from; i < parts.size(); ++i) {
        if (parts[i] != u"." && !(parts[i].front().isDigit() && compareNumbers(parts[i], u"0") == 0))
            return false;
    }
    return true;
}

} // namespace

std::optional<QList<AppcastItem>> parseAppcast(const QByteArray &xml, QString *error)
{
    QXmlStreamReader reader(xml);
    QList<AppcastItem> items;
    bool sawChannel = false;
    if (reader.readNextStartElement() && reader.name() == QStringLiteral("rss")) {
        while (reader.readNextStartElement()) {
            if (reader.name() != QStringLiteral("channel")) {
                reader.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            while (reader.readNextStartElement()) {
                if (reader.name() != QStringLiteral("item")) {
                    reader.skipCurrentElement();
                    continue;
                }
                if (ItemFields fields = readItem(reader); usable(fields))
                    items.append(std::move(fields.item));
            }
        }
    } else if (!reader.hasError()) {
        reader.raiseError(QStringLiteral("not an RSS document"));
    }
    if (!reader.hasError() && !sawChannel)
        reader.raiseError(QStringLiteral("no channel"));
    if (reader.hasError()) {
        if (error)
            *error = reader.errorString();
        return std::nullopt;
    }
    return items;
}

int compareVersions(const QString &left, const QString &right)
{
    const QList<QStringView> a = versionParts(left);
    const QList<QStringView> b = versionParts(right);
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const bool numberA = a[i].front().isDigit();
        const bool numberB = b[i].front().isDigit();
        int order = 0;
        if (numberA && numberB)
            order = compareNumbers(a[i], b[i]);
        else if (numberA != numberB)
            order = numberA ? 1 : -1; // 1.01 is after 1.b1
        else if ((a[i] == u".") != (b[i] == u"."))
            order = a[i] == u"." ? 1 : -1; // 1.0.1 is after 1.0b1
        else
            order = a[i].compare(b[i]);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    // A longer version is newer unless what it adds is only zeros ("1.0" == "1.0.0")
    // and older when it adds a pre-release tag ("1.0b1" before "1.0").
    const QList<QStringView> &longer = a.size() > b.size() ? a : b;
    const int sign = a.size() > b.size() ? 1 : -1;
    if (isZeroTail(longer, common))
        return 0;
    const QStringView next = longer[common] == u"." && common + 1 < longer.size() ? longer[common + 1] : longer[common];
    return next.front().isDigit() ? sign : -sign;
}

std::optional<AppcastItem> newestNewerThan(const QList<AppcastItem> &items, const QString &current)
{
    std::optional<AppcastItem> newest;
    for (const AppcastItem &item : items) {
        if (compareVersions(item.version, current) > 0 &&
            (!newest || compareVersions(item.version, newest->version) > 0))
            newest = item;
    }
    return newest;
}

} // namespace lumarient
