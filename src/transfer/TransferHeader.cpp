#include "transfer/TransferHeader.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringDecoder>

namespace lumarient {

std::optional<std::uint32_t> decodeHeaderLength(const unsigned char (&bytes)[4])
{
    const std::uint32_t length = std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
                                 std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
    if (length < transferLimits::minimumHeaderLength || length > transferLimits::maximumHeaderLength)
        return std::nullopt;
    return length;
}

std::optional<QString> decodeUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

namespace {

// JSON numbers are read as doubles, but integers that fit 64 bits keep their exact
// value; a fraction or an out-of-range value cannot be a size.
std::optional<std::int64_t> exactInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const qint64 first = value.toInteger(0);
    if (first != value.toInteger(1))
        return std::nullopt;
    return first;
}

} // namespace

std::optional<Header> decodeHeader(const QByteArray &json)
{
    // The JSON parser tolerates some malformed UTF-8 inside strings; the header must not.
    if (!decodeUtf8(json))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    const QJsonValue type = object.value(QLatin1String("type"));
    const std::optional<std::int64_t> size = exactInteger(object.value(QLatin1String("size")));
    if (!type.isString() || !size)
        return std::nullopt;

    Header header{type.toString(), std::nullopt, *size};
    const QJsonValue name = object.value(QLatin1String("name"));
    if (name.isString())
        header.name = name.toString();
    else if (!name.isUndefined() && !name.isNull())
        return std::nullopt;
    return header;
}

} // namespace lumarient
