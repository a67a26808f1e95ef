#include "logformat/LogFieldSplitter.h"

#include <algorithm>
#include <cstring>

namespace {

// The part of line from index start with at most length bytes; empty past the line's end.
QByteArrayView cutAt(QByteArrayView line, qsizetype start, qsizetype length)
{
    if (start >= line.size())
        return {};
    return line.sliced(start, std::min(length, line.size() - start));
}

} // namespace

bool splitQuotedFields(QByteArrayView line, LogFieldViews* fields)
{
    const qsizetype size = line.size();
    const char* p = line.data();
    if (size < 2 || p[0] != '"' || p[size - 1] != '"')
        return false;
    const qsizetype closing = size - 1;
    // The next quote must close a field, followed by a comma and the next field's quote before
    // the closing quote of the line.
    const auto separatorAt = [&](qsizetype from) -> qsizetype {
        if (from >= closing)
            return -1;
        const void* q = std::memchr(p + from, '"', size_t(closing - from));
        if (!q)
            return -1;
        const qsizetype at = static_cast<const char*>(q) - p;
        if (at + 2 >= closing || p[at + 1] != ',' || p[at + 2] != '"')
            return -1;
        return at;
    };
    const qsizetype first = separatorAt(1);
    if (first < 0)
        return false;
    const qsizetype second = separatorAt(first + 3);
    if (second < 0)
        return false;
    if (second + 3 < closing && std::memchr(p + second + 3, '"', size_t(closing - second - 3)))
        return false;
    fields->speed = line.sliced(1, first - 1);
    fields->bearing = line.sliced(first + 3, second - first - 3);
    fields->dateTime = line.sliced(second + 3, closing - second - 3);
    return true;
}

LogFieldViews splitRecordFields(QByteArrayView line, int speedWidthHint)
{
    LogFieldViews fields;
    if (splitQuotedFields(line, &fields))
        return fields;
    const qsizetype w = speedWidthHint == 4 ? 4 : 5;
    return {cutAt(line, 1, w), cutAt(line, w + 4, 3), cutAt(line, w + 10, 19)};
}
