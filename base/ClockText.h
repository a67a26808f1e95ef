#pragma once
// The clock text, DD/MM/YYYY HH:MM:SS in local time: the caption of the clock label and the time
// stamp of every logged sample. Day, month, hour, minute and second always have two digits; the
// year is written without leading zeros.

#include <QByteArray>
#include <QDateTime>
#include <QString>

QString clockText(const QDateTime& localTime);

// A time as ISO 8601 UTC with milliseconds: "2009-05-24T14:03:07.250Z" (ms since 1970 UTC).
QString isoUtcText(qint64 ms);
// The same text appended to out: for writers of millions of rows, without a text object each.
void appendIsoUtcText(QByteArray* out, qint64 ms);
// The same text written at text, kIsoUtcTextLength bytes, for a time in the years 0 to 9999;
// false (nothing written) for any other.
constexpr int kIsoUtcTextLength = 24;
bool writeIsoUtcText(qint64 ms, char* text);
