#pragma once
// The clock text, DD/MM/YYYY HH:MM:SS in local time: the caption of the clock label and the time
// stamp of every logged sample. Day, month, hour, minute and second always have two digits; the
// year is written without leading zeros.

#include <QDateTime>
#include <QString>

QString clockText(const QDateTime& localTime);
