#include "base/NumberText.h"

#include "base/MarvaneError.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <stdexcept>
#include <string>

namespace {

// The patterns the program uses are runs of "0" with at most one point: "0.000", "00.00",
// "0000", "000".
struct Pattern
{
    int integerDigits = 0;
    int decimals = 0;
};

Pattern parsePattern(const QString& pattern)
{
    Pattern result;
    bool seenPoint = false;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('0')) {
            (seenPoint ? result.decimals : result.integerDigits) += 1;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
        } else {
            throw std::invalid_argument("unsupported number pattern");
        }
    }
    if (result.integerDigits == 0 || (seenPoint && result.decimals == 0))
        throw std::invalid_argument("unsupported number pattern");
    return result;
}

// The value's 18 significant decimal digits and the power of ten of the first one:
// value = 0.d1d2...d18 x 10^(exponent + 1). The printf family follows LC_NUMERIC for the decimal
// separator, so only the digits and the exponent are taken from its output, never the separator.
struct DecimalForm
{
    bool negative = false;
    std::string digits; // exactly 18 digits
    int exponent = 0;   // power of ten of digits[0]
};

DecimalForm decimalForm(long double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17Le", value);
    DecimalForm form;
    const char* p = buffer;
    if (*p == '-') {
        form.negative = true;
        ++p;
    }
    for (; *p != '\0' && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            form.digits.push_back(*p);
    }
    if (*p == 'e')
        form.exponent = std::atoi(p + 1);
    return form;
}

// Adds one unit in the last place of a string of decimal digits.
void incrementDigits(std::string& digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isDecimalDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// strtold follows LC_NUMERIC; strtold_l with a "C" locale object of our own always reads a point,
// whatever the process locale is set to. The text handed to it has already been checked to
// consist of ASCII sign, digits, one point and an exponent only.
long double parseCheckedDecimal(const std::string& text, bool* overflow)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    errno = 0;
    const long double value = strtold_l(text.c_str(), nullptr, cLocale);
    *overflow = errno == ERANGE && std::isinf(value);
    return value;
}

} // namespace

namespace {

// Units of the pattern's last place, as a digit string without leading zeros: the digits down to
// 10^-decimals, plus one when the first digit dropped is 5 or more (halves away from zero, judged
// on the 18 digits).
std::string unitsOfLastPlace(const DecimalForm& form, int decimals)
{
    std::string units;
    const int keep = form.exponent + 1 + decimals; // digits of the 18 that reach the last place
    if (keep >= static_cast<int>(form.digits.size())) {
        units = form.digits + std::string(keep - form.digits.size(), '0');
    } else if (keep >= 0) {
        units = form.digits.substr(0, keep);
        if (form.digits[keep] >= '5')
            incrementDigits(units);
    }
    const auto firstNonZero = units.find_first_not_of('0');
    return firstNonZero == std::string::npos ? std::string() : units.substr(firstNonZero);
}

} // namespace

long double roundToPattern(long double value, const QString& pattern)
{
    if (std::isnan(value) || std::isinf(value))
        return value;
    const Pattern p = parsePattern(pattern);
    const DecimalForm form = decimalForm(value);
    const std::string units = unitsOfLastPlace(form, p.decimals);
    long double rounded = units.empty() ? 0.0L : std::strtold(units.c_str(), nullptr);
    for (int i = 0; i < p.decimals; ++i)
        rounded /= 10;
    return form.negative ? -rounded : rounded;
}

QString formatNumber(long double value, const QString& pattern)
{
    const Pattern p = parsePattern(pattern);

    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const DecimalForm form = decimalForm(value);

    std::string units = unitsOfLastPlace(form, p.decimals);

    // A value that rounds to zero is shown without a sign: "-0.000" would only confuse.
    const bool negative = form.negative && !units.empty();

    const int width = p.integerDigits + p.decimals;
    if (static_cast<int>(units.size()) < width)
        units.insert(0, width - units.size(), '0');
    if (p.decimals > 0)
        units.insert(units.size() - p.decimals, 1, '.');
    if (negative)
        units.insert(0, 1, '-');
    return QString::fromLatin1(units.c_str(), static_cast<qsizetype>(units.size()));
}

long double textToFloat(const QString& text)
{
    const auto fail = [&text]() {
        return MarvaneError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    };

    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto at = [&](qsizetype k) { return k < n ? text.at(k) : QChar(); };

    std::string checked;
    while (i < n && isBlank(text.at(i)))
        ++i;
    if (at(i) == QLatin1Char('+') || at(i) == QLatin1Char('-'))
        checked.push_back(static_cast<char>(text.at(i++).unicode()));

    int mantissaDigits = 0;
    while (isDecimalDigit(at(i))) {
        checked.push_back(static_cast<char>(text.at(i++).unicode()));
        ++mantissaDigits;
    }
    if (at(i) == QLatin1Char('.')) {
        checked.push_back('.');
        ++i;
        while (isDecimalDigit(at(i))) {
            checked.push_back(static_cast<char>(text.at(i++).unicode()));
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        throw fail();

    if (at(i) == QLatin1Char('e') || at(i) == QLatin1Char('E')) {
        checked.push_back('e');
        ++i;
        if (at(i) == QLatin1Char('+') || at(i) == QLatin1Char('-'))
            checked.push_back(static_cast<char>(text.at(i++).unicode()));
        int exponentDigits = 0;
        while (isDecimalDigit(at(i))) {
            checked.push_back(static_cast<char>(text.at(i++).unicode()));
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            throw fail();
    }

    while (i < n && isBlank(text.at(i)))
        ++i;
    if (i != n)
        throw fail();

    bool overflow = false;
    const long double value = parseCheckedDecimal(checked, &overflow);
    if (overflow)
        throw fail();
    return value;
}

qint32 textToInt(const QString& text)
{
    const auto fail = [&text]() {
        return MarvaneError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    };

    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto at = [&](qsizetype k) { return k < n ? text.at(k) : QChar(); };

    while (i < n && isBlank(text.at(i)))
        ++i;
    bool negative = false;
    if (at(i) == QLatin1Char('+') || at(i) == QLatin1Char('-'))
        negative = text.at(i++) == QLatin1Char('-');

    // Decimal only: the log's bearings and every other whole number the program reads are
    // written in decimal, so "0x8" or "$08" in a bearing's place is a damaged line, not 8.
    // Accumulated as a magnitude; the limit allows -2147483648 but not +2147483648.
    const qint64 limit = negative ? qint64(std::numeric_limits<qint32>::max()) + 1
                                  : qint64(std::numeric_limits<qint32>::max());
    qint64 magnitude = 0;
    int digits = 0;
    while (isDecimalDigit(at(i))) {
        magnitude = magnitude * 10 + (at(i).unicode() - '0');
        if (magnitude > limit)
            throw fail();
        ++digits;
        ++i;
    }
    if (digits == 0)
        throw fail();

    while (i < n && isBlank(text.at(i)))
        ++i;
    if (i != n)
        throw fail();

    return static_cast<qint32>(negative ? -magnitude : magnitude);
}
