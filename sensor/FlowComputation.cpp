#include "sensor/FlowComputation.h"

#include "base/NumberText.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDegreesPerRadian = 57.29577951308232;

// Degrees clockwise from the sensor's front (the +Y axis) towards +X, 0 up to 360.
double bearingFrom(double x, double y)
{
    // atan2 would give the same for y == 0, but the instrument's convention is stated for that
    // case on its own: 90 for x >= 0 (including the still sample 0, 0), 270 for x < 0.
    if (y == 0)
        return x >= 0 ? 90.0 : 270.0;
    double theta = std::atan2(x, y);
    if (theta < 0)
        theta += kTwoPi;
    const double bearing = theta * kDegreesPerRadian;
    return bearing;
}

} // namespace

FlowSample computeFlowSample(const QString& xText, const QString& yText, bool faceUp, int bearingTo,
                             const QString& speedFormat, double headingOffset)
{
    // X first: when both cells are bad, the error names the X cell.
    const double received = static_cast<double>(textToFloat(xText));
    const double x = faceUp ? -received : received;
    const double y = static_cast<double>(textToFloat(yText));

    const long double speed =
        std::sqrt(static_cast<long double>(x) * x + static_cast<long double>(y) * y);

    double bearing = bearingFrom(x, y);
    if (bearingTo == 1)
        bearing = bearing > 180 ? bearing - 180 : bearing + 180;
    // The reversal of 180 gives 360: north, as its text "000" says, so it travels on as 0 and
    // every destination states the same bearing.
    bearing = bearingWithinCircle(bearing + headingOffset);

    FlowSample sample;
    sample.x = received;
    sample.y = y;
    sample.speed = static_cast<double>(speed);
    sample.shownSpeed = static_cast<double>(roundToPattern(speed, speedFormat));
    sample.speedText = formatNumber(speed, speedFormat);
    sample.bearing = bearing;
    sample.bearingText = formatNumber(bearing, QStringLiteral("000"));
    if (sample.bearingText == QLatin1String("360"))
        sample.bearingText = QStringLiteral("000");
    sample.colour = bearingColour(sample.bearing, sample.bearingText);
    return sample;
}

double bearingWithinCircle(double degrees)
{
    double bearing = std::fmod(degrees, 360.0);
    if (bearing < 0)
        bearing += 360.0;
    // A sliver below 0 turned round lands on 360 itself.
    return bearing >= 360.0 ? 0.0 : bearing;
}

int wholeDegrees(double degrees)
{
    const int whole = int(roundToPattern(degrees, QStringLiteral("000"))) % 360;
    return whole < 0 ? whole + 360 : whole;
}

BearingColour bearingColour(double bearing, const QString& bearingText)
{
    // The rules are applied one after the other, each overriding the last: a bearing that shows
    // as "000" or "180" is black even though it lies just inside the green or red half.
    BearingColour colour = BearingColour::Unchanged;
    if (bearing > 0 && bearing < 180)
        colour = BearingColour::Green;
    if (bearing > 180 && bearing < 360)
        colour = BearingColour::Red;
    if (bearingText == QLatin1String("000") || bearingText == QLatin1String("180"))
        colour = BearingColour::Black;
    return colour;
}

double speedNeedleAngle(double speed, SpeedUnitsKind units)
{
    const UnitsInfo& scale = unitsInfo(units);
    const double angle = speed * scale.needleDegrees / scale.needlePer + kSpeedNeedleRest;
    // The scale ends at full scale; beyond it the needle would run on through the unmarked gap
    // and round again to a low number of the scale (9 m/s would point at 0). The needle stops at
    // the end of the scale, the readout and the log still show the speed itself. A speed below
    // zero (only a log file edited by hand has one) or not a number leaves it at rest.
    if (!(angle >= kSpeedNeedleRest))
        return kSpeedNeedleRest;
    return std::min(angle, kSpeedNeedleFullScale);
}
