#include "base/Units.h"

const UnitsInfo& unitsInfo(SpeedUnitsKind units)
{
    static const UnitsInfo metres{QStringLiteral("0.000"),
                                  QStringLiteral("m/s"),
                                  QStringLiteral("m/s"),
                                  QStringLiteral("     m/s"),
                                  false,
                                  false,
                                  1.0,
                                  40.0,
                                  1.0};
    static const UnitsInfo knots{QStringLiteral("00.00"),
                                 QStringLiteral("Knots"),
                                 QStringLiteral("Kts"),
                                 QStringLiteral("    Knots"),
                                 true,
                                 false,
                                 1852.0 / 3600.0, // the international knot
                                 20.0,
                                 1.0};
    static const UnitsInfo millimetres{QStringLiteral("0000"),
                                       QStringLiteral("mm/s"),
                                       QStringLiteral("mm/s"),
                                       QStringLiteral("     mm/s"),
                                       false,
                                       true,
                                       0.001,
                                       40.0,
                                       1000.0};
    switch (units) {
    case SpeedUnitsKind::MetresPerSecond:
        return metres;
    case SpeedUnitsKind::Knots:
        return knots;
    case SpeedUnitsKind::MillimetresPerSecond:
        break;
    }
    return millimetres;
}

std::optional<SpeedUnitsKind> speedUnitsOfWord(QStringView word)
{
    for (const SpeedUnitsKind units : kAllSpeedUnits) {
        if (word == unitsInfo(units).speedUnits)
            return units;
    }
    return std::nullopt;
}

SpeedUnitsKind speedUnitsOfUnitsWord(QStringView word)
{
    // Replay has always read a word it does not know as millimetres per second.
    return speedUnitsOfWord(word).value_or(SpeedUnitsKind::MillimetresPerSecond);
}
