#include "outputs/NmeaSentence.h"

#include "base/NumberText.h"
#include "sensor/FlowComputation.h"

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
