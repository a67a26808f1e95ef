#pragma once
// A small log file as the recorder writes it, for tests that only need something to replay.

#include <QByteArray>

inline QByteArray smallLogFile()
{
    return QByteArrayLiteral("\"Speed\",\"Bearing\",\"Date-Time\"\r\n"
                             "\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n"
                             "\"0.515\",\"088\",\"24/05/2009 14:03:07\"\r\n"
                             "\"0.620\",\"091\",\"24/05/2009 14:03:08\"\r\n"
                             "\"0.702\",\"095\",\"24/05/2009 14:03:09\"\r\n");
}
