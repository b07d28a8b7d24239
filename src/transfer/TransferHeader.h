#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumarient {

// What the phone declares before the body of one transfer.
struct Header {
    QString type; // "text" or "file"
    std::optional<QString> name;
    // Body length in bytes; for a file, negative means "until the phone closes its side".
    std::int64_t size = 0;

    bool operator==(const Header &) const = default;
};

namespace transferLimits {
inline constexpr std::uint32_t minimumHeaderLength = 1;
inline constexpr std::uint32_t maximumHeaderLength = 65536;
inline constexpr std::uint64_t maximumTextLength = 10485760;
inline constexpr std::size_t fileReadStep = 262144;
inline constexpr std::uint8_t acknowledgement = 0x01;
} // namespace transferLimits

// The four bytes before the header: a big-endian length, accepted only within
// the header limits.
std::optional<std::uint32_t> decodeHeaderLength(const unsigned char (&bytes)[4]);

// The header JSON: an object with a string `type`, an optional string `name`
// (null counts as absent) and an integer `size` within 64 bits. Anything else,
// including text that is not UTF-8, gives nothing.
std::optional<Header> decodeHeader(const QByteArray &json);

// Strict UTF-8 decoding: nothing for malformed, overlong or surrogate sequences.
std::optional<QString> decodeUtf8(const QByteArray &bytes);

} // namespace lumarient
