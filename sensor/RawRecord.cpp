#include "sensor/RawRecord.h"

#include <algorithm>

namespace {

constexpr int kFieldLength = 6;
constexpr int kYFieldStart = 7; // 0-based: position 8
constexpr int kRecordLength = 13;

bool isSign(int c)
{
    return c == '+' || c == '-';
}

bool isBodyCharacter(int c)
{
    return c == '.' || (c >= '0' && c <= '9');
}

// The record check, written once for text and for raw bytes. charAt(i) gives the character at
// 0-based index i of the input, which holds size characters. The order of the checks is the
// sensor-facing contract: length, the two signs, then positions 2 to 6 of X and Y in turn.
template <typename CharAt> bool validateRecord(CharAt charAt, qsizetype size)
{
    if (size < kFieldLength)
        return false;
    // The Y field is whatever exists of positions 8 to 13.
    const qsizetype yLength = std::clamp<qsizetype>(size - kYFieldStart, 0, kFieldLength);
    const auto x = [&](int i) { return charAt(i); };
    const auto y = [&](int i) { return i < yLength ? charAt(kYFieldStart + i) : -1; };

    if (!isSign(x(0)) || !isSign(y(0)))
        return false;
    for (int i = 1; i < kFieldLength; ++i) {
        if (!isBodyCharacter(x(i)) || !isBodyCharacter(y(i)))
            return false;
    }
    return true;
}

} // namespace

std::optional<RawRecord> parseRawRecord(const QString& text)
{
    // Text is single-byte; anything outside Latin-1 fails the character checks anyway.
    const auto charAt = [&text](qsizetype i) { return int(text.at(i).unicode()); };
    if (!validateRecord(charAt, text.size()))
        return std::nullopt;

    RawRecord record;
    record.x = text.mid(0, kFieldLength);
    record.y = text.mid(kYFieldStart, kFieldLength);
    // The sensor shows its units only by where it puts the point in X; Y is not consulted.
    switch (record.x.indexOf(QLatin1Char('.'))) {
    case 2:
        record.units = SpeedUnitsKind::MetresPerSecond;
        break;
    case 3:
        record.units = SpeedUnitsKind::Knots;
        break;
    default:
        record.units = SpeedUnitsKind::MillimetresPerSecond;
        break;
    }
    return record;
}

bool isRawRecordAt(const char* data, qsizetype size)
{
    if (data == nullptr || size < kRecordLength)
        return false;
    const auto charAt = [data](qsizetype i) { return int(static_cast<unsigned char>(data[i])); };
    return validateRecord(charAt, size);
}
