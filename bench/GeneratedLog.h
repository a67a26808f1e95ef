#pragma once
// The long log the benchmarks that read logs share: a header line, one units line (UTC) and
// records one second apart from 24/05/2009 00:00:00, written straight as bytes, and the text of
// any one of its records for checking what was read.

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace generatedlog {

inline void two(char* p, int v)
{
    p[0] = char('0' + v / 10);
    p[1] = char('0' + v % 10);
}

// Record k: speeds 0.000 to 1.499 m/s, bearings all round, one second apart from
// 24/05/2009 00:00:00. Written by hand: 30 million lines through text objects would take longer
// than the reading the benchmarks measure.
inline qsizetype recordLine(qint64 k, char* out)
{
    const unsigned milli = unsigned((quint64(k) * 2654435761u >> 7) % 1500);
    const int bearing = int((k * 37 + k / 97) % 360);
    // Days from 24/05/2009, walked through the calendar.
    qint64 day = k / 86400;
    const int secondOfDay = int(k % 86400);
    int y = 2009, m = 5, d = 24;
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    while (day > 0) {
        const int length = lengths[m - 1] + (m == 2 && y % 4 == 0 ? 1 : 0);
        const qint64 step = std::min<qint64>(day, length - d + 1);
        d += int(step);
        day -= step;
        if (d > length) {
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }
    char* p = out;
    *p++ = '"';
    *p++ = char('0' + milli / 1000);
    *p++ = '.';
    *p++ = char('0' + milli / 100 % 10);
    *p++ = char('0' + milli / 10 % 10);
    *p++ = char('0' + milli % 10);
    std::memcpy(p, "\",\"", 3);
    p += 3;
    *p++ = char('0' + bearing / 100);
    two(p, bearing % 100);
    p += 2;
    std::memcpy(p, "\",\"", 3);
    p += 3;
    two(p, d);
    p[2] = '/';
    two(p + 3, m);
    p[5] = '/';
    two(p + 6, y / 100);
    two(p + 8, y % 100);
    p[10] = ' ';
    two(p + 11, secondOfDay / 3600);
    p[13] = ':';
    two(p + 14, secondOfDay / 60 % 60);
    p[16] = ':';
    two(p + 17, secondOfDay % 60);
    p += 19;
    *p++ = '"';
    *p++ = '\r';
    *p++ = '\n';
    return p - out;
}

inline qint64 writeLog(const QString& path, qint64 bytesWanted)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    file.write("\"Speed\",\"Bearing\",\"Date-Time\"\r\n\"m/s\",\"Degrees\",\"24 Hour UTC\"\r\n");
    std::vector<char> buffer(8 << 20);
    qint64 records = 0;
    qint64 total = file.pos();
    while (total < bytesWanted) {
        qsizetype used = 0;
        while (used + 64 < qsizetype(buffer.size()) && total + used < bytesWanted)
            used += recordLine(records++, buffer.data() + used);
        if (file.write(buffer.data(), used) != used)
            return -1;
        total += used;
    }
    file.flush();
    ::fsync(file.handle());
    return records;
}

} // namespace generatedlog
