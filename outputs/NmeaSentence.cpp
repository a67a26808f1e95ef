#include "outputs/NmeaSentence.h"

#include "base/NumberText.h"
#include "sensor/FlowComputation.h"

#include <QDateTime>

#include <cmath>

QByteArray nmeaChecksum(QByteArrayView body)
{
    unsigned char sum = 0;
    for (const char c : body)
        sum ^= static_cast<unsigned char>(c);
    return QByteArray::number(sum, 16).toUpper().rightJustified(2, '0');
}

QByteArray nmeaSentence(QByteArrayView body)
{
    return '$' + body.toByteArray() + '*' + nmeaChecksum(body) + "\r\n";
}

double flowSetDegrees(const Sample& sample)
{
    double set = sample.bearingTo ? sample.bearing : sample.bearing + 180.0;
    set = std::fmod(set, 360.0);
    if (set < 0)
        set += 360.0;
    return set;
}

std::optional<QByteArray> vdrSentence(const Sample& sample)
{
    if (!sample.computed || !sample.headingOffset)
        return std::nullopt;
    // Rounded before the wrap, so 359.96 reads 0.0 and never 360.0.
    QString set = formatNumber(flowSetDegrees(sample), QStringLiteral("0.0"));
    if (set == QLatin1String("360.0"))
        set = QStringLiteral("0.0");
    const QString drift =
        formatNumber(std::fabs(sample.speedMs) / metresPerSecondPerUnit(SpeedUnitsKind::Knots),
                     QStringLiteral("0.00"));
    const QString body = QStringLiteral("IIVDR,%1,T,,M,%2,N").arg(set, drift);
    return nmeaSentence(body.toLatin1());
}

int nmeaAlarmNumber(const QString& alarm)
{
    static const char* const kAlarms[] = {"speed-above", "speed-below", "no-data",
                                          "device-lost", "free-space",  "clock"};
    for (int i = 0; i < 6; ++i) {
        if (alarm == QLatin1String(kAlarms[i]))
            return i + 1;
    }
    return 0;
}

QByteArray alrSentence(qint64 timeMs, const QString& alarm, bool raised, const QString& text)
{
    const QTime time = QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).time();
    const QByteArray stamp = time.toString(QStringLiteral("HHmmss")).toLatin1() + '.' +
                             QByteArray::number(time.msec() / 10).rightJustified(2, '0');
    QByteArray head = "IIALR," + stamp + ',' +
                      QByteArray::number(nmeaAlarmNumber(alarm)).rightJustified(3, '0') + ',' +
                      (raised ? "A,V," : "V,A,");
    QByteArray words;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool reserved = u < 0x20 || u > 0x7e || u == u',' || u == u'*' || u == u'$' ||
                              u == u'!' || u == u'\\' || u == u'^' || u == u'~';
        words += reserved ? ' ' : char(u);
    }
    // "$" + body + "*hh" + CR LF within 82 characters.
    const qsizetype room = 82 - 1 - 3 - 2 - head.size();
    if (words.size() > room)
        words.truncate(room);
    return nmeaSentence(head + words);
}
