#include "tooling/AdbWire.h"

#include <QStringList>

namespace lumarient::adbwire {
namespace {

constexpr int maximumLength = 0xffff;

std::optional<int> hexDigit(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> request(QByteArrayView service)
{
    if (service.isEmpty() || service.size() > maximumLength)
        return std::nullopt;
    QByteArray framed = QByteArray::number(int(service.size()), 16).rightJustified(4, '0');
    framed.append(service.data(), service.size());
    return framed;
}

std::optional<int> hexLength(QByteArrayView digits)
{
    if (digits.size() != 4)
        return std::nullopt;
    int length = 0;
    for (char character : digits) {
        const std::optional<int> value = hexDigit(character);
        if (!value)
            return std::nullopt;
        length = length * 16 + *value;
    }
    return length;
}

Status takeStatus(QByteArray &buffer)
{
    if (buffer.size() < 4) {
        // A wrong first byte is wrong however many follow.
        const QByteArrayView start(buffer);
        if (!QByteArrayView("OKAY").startsWith(start) && !QByteArrayView("FAIL").startsWith(start))
            return {Take::malformed, false, {}};
        return {};
    }
    if (buffer.startsWith("OKAY")) {
        buffer.remove(0, 4);
        return {Take::done, true, {}};
    }
    if (!buffer.startsWith("FAIL"))
        return {Take::malformed, false, {}};
    QByteArray rest = buffer.mid(4);
    Block message = takeBlock(rest);
    if (message.take != Take::done)
        return {message.take, false, {}};
    buffer = rest;
    return {Take::done, false, message.data};
}

Block takeBlock(QByteArray &buffer)
{
    if (buffer.size() < 4) {
        for (char character : buffer) {
            if (!hexDigit(character))
                return {Take::malformed, {}};
        }
        return {};
    }
    const std::optional<int> length = hexLength(QByteArrayView(buffer).first(4));
    if (!length)
        return {Take::malformed, {}};
    if (buffer.size() < 4 + *length)
        return {};
    Block block{Take::done, buffer.mid(4, *length)};
    buffer.remove(0, 4 + *length);
    return block;
}

QList<Reversal> parseReversals(const QString &text)
{
    QList<Reversal> reversals;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList words = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() != 3)
            continue;
        reversals.append({words[1], words[2]});
    }
    return reversals;
}

} // namespace lumarient::adbwire
