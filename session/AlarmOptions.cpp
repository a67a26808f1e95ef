#include "session/AlarmOptions.h"

#include "base/NumberText.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cmath>

namespace {

const QString kSpeedAbove = QStringLiteral("alarm-speed-above");
const QString kSpeedBelow = QStringLiteral("alarm-speed-below");
const QString kHysteresis = QStringLiteral("alarm-hysteresis");
const QString kDuration = QStringLiteral("alarm-duration");
const QString kNoData = QStringLiteral("alarm-no-data");
const QString kDeviceLost = QStringLiteral("alarm-device-lost");
const QString kFreeSpace = QStringLiteral("alarm-free-space");
const QString kClock = QStringLiteral("alarm-clock");
const QString kNoAlarms = QStringLiteral("no-alarms");

std::optional<double> speedOption(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > 100)
        return std::nullopt;
    return value;
}

std::optional<int> wholeOption(const QString& text, int least, int most)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < least || value > most)
        return std::nullopt;
    return int(value);
}

QString speedText(double ms)
{
    return formatNumber(ms, QStringLiteral("0.000"));
}

} // namespace

void addAlarmOptions(QCommandLineParser& parser)
{
    parser.addOption({kSpeedAbove,
                      QStringLiteral("Alarm when the speed stays above M/S (metres per second)."),
                      QStringLiteral("M/S")});
    parser.addOption({kSpeedBelow,
                      QStringLiteral("Alarm when the speed stays below M/S (metres per second)."),
                      QStringLiteral("M/S")});
    parser.addOption({kHysteresis,
                      QStringLiteral("A speed alarm ends once the speed is back past its "
                                     "threshold by M/S (default 0.05 above, 0.02 below)."),
                      QStringLiteral("M/S")});
    parser.addOption({kDuration,
                      QStringLiteral("A speed must stay past its threshold (or back) for S "
                                     "seconds before it counts (default 10 above, 60 below)."),
                      QStringLiteral("S")});
    parser.addOption({kNoData, QStringLiteral("Alarm when no record arrives for S seconds."),
                      QStringLiteral("S")});
    parser.addOption({kDeviceLost, QStringLiteral("Alarm when the device goes away.")});
    parser.addOption({kFreeSpace,
                      QStringLiteral("Alarm when less than MB megabytes are free on the log's "
                                     "file system."),
                      QStringLiteral("MB")});
    parser.addOption(
        {kClock, QStringLiteral("Alarm while the computer's clock is not synchronised.")});
    parser.addOption({kNoAlarms, QStringLiteral("No alarms: those turned on in section [Alarms] "
                                                "of the settings file stay off.")});
}

bool readAlarmOptions(const QCommandLineParser& parser, AlarmSettings& settings, QString* error)
{
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    AlarmSettings s = settings;
    if (parser.isSet(kNoAlarms)) {
        for (const QString& alarm :
             {kSpeedAbove, kSpeedBelow, kNoData, kDeviceLost, kFreeSpace, kClock}) {
            if (parser.isSet(alarm))
                return fail(
                    QStringLiteral("--%1 and --%2 exclude each other").arg(kNoAlarms, alarm));
        }
        s = AlarmSettings();
    }
    for (auto [option, rule] :
         {std::pair{&kSpeedAbove, &s.speedAbove}, std::pair{&kSpeedBelow, &s.speedBelow}}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<double> value = speedOption(parser.value(*option));
        if (!value)
            return fail(QStringLiteral("--%1 wants metres per second from 0 to 100, not %2")
                            .arg(*option, parser.value(*option)));
        rule->on = true;
        rule->thresholdMs = *value;
    }
    if (parser.isSet(kHysteresis)) {
        const std::optional<double> value = speedOption(parser.value(kHysteresis));
        if (!value)
            return fail(QStringLiteral("--%1 wants metres per second from 0 to 100, not %2")
                            .arg(kHysteresis, parser.value(kHysteresis)));
        s.speedAbove.hysteresisMs = *value;
        s.speedBelow.hysteresisMs = *value;
    }
    if (parser.isSet(kDuration)) {
        const std::optional<int> value =
            wholeOption(parser.value(kDuration), 0, kAlarmSecondsLimit);
        if (!value)
            return fail(QStringLiteral("--%1 wants whole seconds from 0 to %2, not %3")
                            .arg(kDuration)
                            .arg(kAlarmSecondsLimit)
                            .arg(parser.value(kDuration)));
        s.speedAbove.seconds = *value;
        s.speedBelow.seconds = *value;
    }
    if (parser.isSet(kNoData)) {
        const std::optional<int> value = wholeOption(parser.value(kNoData), 1, kAlarmSecondsLimit);
        if (!value)
            return fail(QStringLiteral("--%1 wants whole seconds from 1 to %2, not %3")
                            .arg(kNoData)
                            .arg(kAlarmSecondsLimit)
                            .arg(parser.value(kNoData)));
        s.noData = true;
        s.noDataSeconds = *value;
    }
    if (parser.isSet(kDeviceLost))
        s.deviceLost = true;
    if (parser.isSet(kFreeSpace)) {
        const std::optional<int> value = wholeOption(parser.value(kFreeSpace), 1, 1 << 30);
        if (!value)
            return fail(QStringLiteral("--%1 wants a whole number of megabytes, at least 1, not %2")
                            .arg(kFreeSpace, parser.value(kFreeSpace)));
        s.freeSpace = true;
        s.freeSpaceMb = *value;
    }
    if (parser.isSet(kClock))
        s.clock = true;
    if (const QString e = alarmSettingsError(s); !e.isEmpty())
        return fail(e);
    settings = s;
    return true;
}

QStringList alarmDescriptions(const AlarmSettings& s)
{
    QStringList texts;
    if (s.speedAbove.on)
        texts << QStringLiteral("speed above %1 m/s for %2 s (hysteresis %3 m/s)")
                     .arg(speedText(s.speedAbove.thresholdMs))
                     .arg(s.speedAbove.seconds)
                     .arg(speedText(s.speedAbove.hysteresisMs));
    if (s.speedBelow.on)
        texts << QStringLiteral("speed below %1 m/s for %2 s (hysteresis %3 m/s)")
                     .arg(speedText(s.speedBelow.thresholdMs))
                     .arg(s.speedBelow.seconds)
                     .arg(speedText(s.speedBelow.hysteresisMs));
    if (s.noData)
        texts << QStringLiteral("no data for %1 s").arg(s.noDataSeconds);
    if (s.deviceLost)
        texts << QStringLiteral("device lost");
    if (s.freeSpace)
        texts << QStringLiteral("less than %1 MB free for the log").arg(s.freeSpaceMb);
    if (s.clock)
        texts << QStringLiteral("clock not synchronised");
    return texts;
}
