#pragma once
// Splits a log record line into its speed, bearing and date-time fields, for the replay, the
// index and export alike.
//
// A line the recorder wrote is three quoted fields: it starts and ends with a double quote, the
// text between falls into exactly three parts at the separators "," and no part holds a double
// quote. Since no field can hold a quote, the separators cannot be confused with field text, and
// every such line splits whatever its widths. Any other line is cut where the standard layout has
// its fields (speed at 2, bearing at w + 5, date-time at w + 11, w the speed width: 4 for mm/s, 5
// otherwise; fields cut short at the line's end), so that the operator sees in an error message
// the texts the file shows at those places.

#include <QByteArrayView>

struct LogFieldViews
{
    QByteArrayView speed;
    QByteArrayView bearing;
    QByteArrayView dateTime;
};

// True with the fields set when the line is three quoted fields.
bool splitQuotedFields(QByteArrayView line, LogFieldViews* fields);
// The fields of any line: quoted fields, else the fixed positions for speedWidthHint (4 or 5).
LogFieldViews splitRecordFields(QByteArrayView line, int speedWidthHint);
