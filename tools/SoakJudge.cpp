#include "tools/SoakJudge.h"

#include <QIODevice>
#include <QRegularExpression>
#include <QString>

#include <algorithm>

namespace SoakJudge {

double unloggedSince(double at, double recorderReady)
{
    if (at < recorderReady + kFirstPoll + kMargin)
        return recorderReady - kMargin;
    return at - kPollInterval - kMargin;
}

double sendTime(const std::vector<SimulatorRun>& runs, long long n)
{
    for (const SimulatorRun& run : runs) {
        if (n >= run.first && n <= run.last)
            return run.start + double(n - run.first) * run.period;
    }
    return 0;
}

Tally judge(const std::vector<SimulatorRun>& runs, const std::vector<Stretch>& leftOut,
            QIODevice& log)
{
    const auto isLeftOut = [&leftOut](double time) {
        return std::any_of(leftOut.begin(), leftOut.end(),
                           [time](const Stretch& s) { return time >= s.from && time <= s.to; });
    };

    Tally tally;
    long long highest = 0;
    for (const SimulatorRun& run : runs)
        highest = std::max(highest, run.last);
    std::vector<unsigned char> counted(size_t(highest + 1), 0);
    for (const SimulatorRun& run : runs) {
        for (long long n = run.first; n <= run.last; ++n) {
            ++tally.sent;
            if (!isLeftOut(run.start + double(n - run.first) * run.period)) {
                counted[size_t(n)] = 1;
                ++tally.counted;
            }
        }
    }

    std::vector<unsigned char> seen(size_t(highest + 1), 0);
    // Header and units line, then one record a line: "NNNN","BBB","DD/MM/YYYY HH:MM:SS".
    static const QRegularExpression record(
        QStringLiteral("^\"([0-9]{4,5})\",\"[0-9]{3}\",\"[0-9]{2}/[0-9]{2}/[0-9]{4} "
                       "[0-9]{2}:[0-9]{2}:[0-9]{2}\""
                       "\\r\\n$"));
    long long lineNumber = 0;
    long long previous = 0; // the highest number logged so far
    long long reference = 1;
    while (!log.atEnd()) {
        const QByteArray line = log.readLine(4096);
        if (++lineNumber <= 2)
            continue;
        const QRegularExpressionMatch match = record.match(QString::fromLatin1(line));
        if (!match.hasMatch()) {
            ++tally.torn;
            continue;
        }
        ++tally.logged;
        // The number nearest the last one logged with these digits.
        const long long digits = match.captured(1).toLongLong();
        const long long cycled = (reference - 1) % kNumberCycle + 1;
        long long step = (digits - cycled) % kNumberCycle;
        if (step > kNumberCycle / 2)
            step -= kNumberCycle;
        if (step < -kNumberCycle / 2)
            step += kNumberCycle;
        const long long n = reference + step;
        reference = n;
        if (n < 1 || n > highest) {
            ++tally.torn; // a speed the simulator never sent
            continue;
        }
        if (seen[size_t(n)])
            ++tally.duplicated;
        else if (n < previous)
            ++tally.outOfOrder;
        seen[size_t(n)] = 1;
        previous = std::max(previous, n);
    }
    for (long long n = 1; n <= highest; ++n) {
        if (counted[size_t(n)] && !seen[size_t(n)]) {
            if (++tally.lost <= kLostListed)
                tally.firstLost.push_back(n);
        }
    }
    return tally;
}

} // namespace SoakJudge
