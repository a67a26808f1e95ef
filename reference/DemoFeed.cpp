#include "sources/DemoFeed.h"

QString demoRecord(int index)
{
    // Three runs of ten: X rises in steps of one unit's worth while Y stays put, so the speed
    // climbs and the bearing swings, in mm/s, then m/s, then knots.
    struct Run
    {
        const char* prefix;
        const char* suffix;
    };
    static constexpr Run runs[3] = {
        {"+00", "15 +00515"},
        {"+0.", "15 +0.515"},
        {"+0", ".15 +05.15"},
    };
    const Run& run = runs[(index / 10) % 3];
    return QLatin1String(run.prefix) + QString::number(index % 10) + QLatin1String(run.suffix);
}
