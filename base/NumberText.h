#pragma once
// Numbers as text, the one place where the program formats or parses a number. Records, the
// speed formats and log files all use a point as the decimal separator, so these routines never
// look at the locale.

#include <QString>

// Formats value by one of the patterns "0.000", "00.00", "0000" or "000": at least as many
// integer digits as the pattern has before its point (leading zeros), exactly as many decimals as
// it has after it. The value is brought to the last digit by the nearest-value rule with halves
// away from zero, decided on the value's 18-significant-digit decimal form (so 2.675, stored as
// 2.67499999999999982..., gives "02.67"; 0.0005 gives "0.001"). A negative value gets a leading
// "-", except when it rounds to zero ("0.000", never "-0.000"). Infinity and not-a-number give
// "INF", "-INF" and "NAN". Any other pattern is a programming error and throws
// std::invalid_argument.
QString formatNumber(long double value, const QString& pattern);

// The value formatNumber shows, as a number: value brought to the pattern's last digit by the
// same rule (so a needle set from it agrees with the text beside it). Infinity and not-a-number
// are returned as they are.
long double roundToPattern(long double value, const QString& pattern);

// Converts text to a floating-point number. Accepts blanks (spaces, tabs) before and after, an
// optional sign, digits with an optional decimal point (at least one digit), and an optional
// exponent with an optional sign and at least one digit ("1e3", "2.5E-2").
// Throws MarvaneError("'<text>' is not a valid floating point value") otherwise, with the text
// exactly as given, blanks included; also for a value beyond the range of long double.
long double textToFloat(const QString& text);

// Converts text to a 32-bit integer: blanks around, an optional sign, decimal digits. Throws
// MarvaneError("'<text>' is not a valid integer value") otherwise (hexadecimal forms such as
// "$FF" and "0x1f" included), also when the value does not fit in a signed 32-bit integer.
qint32 textToInt(const QString& text);
