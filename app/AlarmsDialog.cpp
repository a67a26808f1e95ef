#include "app/AlarmsDialog.h"

#include "app/Prompts.h"
#include "base/MarvaneError.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QDoubleSpinBox* speedBox(const QString& name, QWidget* parent)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, 100);
    box->setDecimals(3);
    box->setSingleStep(0.01);
    box->setSuffix(QStringLiteral(" m/s"));
    return box;
}

QSpinBox* wholeBox(const QString& name, int least, int most, const QString& suffix, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(least, most);
    box->setSuffix(suffix);
    return box;
}

} // namespace

AlarmsDialog::SpeedFields AlarmsDialog::speedFields(const char* prefix, const QString& caption,
                                                    QWidget* parent)
{
    const QString p = QString::fromLatin1(prefix);
    SpeedFields f;
    f.on = new QCheckBox(caption, parent);
    f.on->setObjectName(p + QStringLiteral("Box"));
    f.threshold = speedBox(p + QStringLiteral("ThresholdBox"), parent);
    f.hysteresis = speedBox(p + QStringLiteral("HysteresisBox"), parent);
    f.hysteresis->setToolTip(QStringLiteral("How far back past the threshold the speed must "
                                            "come before the alarm ends"));
    f.seconds = wholeBox(p + QStringLiteral("SecondsBox"), 0, kAlarmSecondsLimit,
                         QStringLiteral(" s"), parent);
    f.seconds->setToolTip(QStringLiteral("How long the speed must stay past the threshold (or "
                                         "back) before it counts: a gust does not ring"));
    return f;
}

AlarmsDialog::AlarmsDialog(const QString& settingsPath, Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_settingsPath(settingsPath), m_prompts(prompts)
{
    setObjectName(QStringLiteral("alarmsDialog"));
    setWindowTitle(QStringLiteral("Alarms"));

    auto* speedGroup = new QGroupBox(QStringLiteral("Flow speed"), this);
    auto* speedForm = new QFormLayout(speedGroup);
    m_above = speedFields("speedAbove", QStringLiteral("Speed above"), speedGroup);
    m_below = speedFields("speedBelow", QStringLiteral("Speed below"), speedGroup);
    for (const SpeedFields& f : {m_above, m_below}) {
        speedForm->addRow(f.on, f.threshold);
        speedForm->addRow(QStringLiteral("Hysteresis:"), f.hysteresis);
        speedForm->addRow(QStringLiteral("For at least:"), f.seconds);
    }

    auto* stationGroup = new QGroupBox(QStringLiteral("Station"), this);
    auto* stationForm = new QFormLayout(stationGroup);
    m_noDataBox = named(new QCheckBox(QStringLiteral("No data for"), stationGroup), "noDataBox");
    m_noDataSecondsBox = wholeBox(QStringLiteral("noDataSecondsBox"), 1, kAlarmSecondsLimit,
                                  QStringLiteral(" s"), stationGroup);
    stationForm->addRow(m_noDataBox, m_noDataSecondsBox);
    m_deviceLostBox =
        named(new QCheckBox(QStringLiteral("Device lost"), stationGroup), "deviceLostBox");
    stationForm->addRow(m_deviceLostBox);
    m_freeSpaceBox =
        named(new QCheckBox(QStringLiteral("Free space for the log below"), stationGroup),
              "freeSpaceBox");
    m_freeSpaceMbBox =
        wholeBox(QStringLiteral("freeSpaceMbBox"), 1, 1 << 30, QStringLiteral(" MB"), stationGroup);
    stationForm->addRow(m_freeSpaceBox, m_freeSpaceMbBox);
    m_clockBox =
        named(new QCheckBox(QStringLiteral("Clock not synchronised"), stationGroup), "clockBox");
    stationForm->addRow(m_clockBox);

    auto* buttons = new QDialogButtonBox(this);
    m_okButton = named(buttons->addButton(QDialogButtonBox::Ok), "okButton");
    m_cancelButton = named(buttons->addButton(QDialogButtonBox::Cancel), "cancelButton");
    connect(m_okButton, &QPushButton::clicked, this, &AlarmsDialog::applySettings);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(speedGroup);
    layout->addWidget(stationGroup);
    layout->addWidget(buttons);

    for (QCheckBox* box : {m_above.on, m_below.on, m_noDataBox, m_freeSpaceBox})
        connect(box, &QCheckBox::toggled, this, &AlarmsDialog::updateEnabled);
    setSettings(AlarmSettings());
}

void AlarmsDialog::showEvent(QShowEvent* event)
{
    setSettings(loadAlarmSettings(m_settingsPath));
    QDialog::showEvent(event);
}

void AlarmsDialog::setSettings(const AlarmSettings& s)
{
    for (auto [f, rule] : {std::pair{m_above, s.speedAbove}, std::pair{m_below, s.speedBelow}}) {
        f.on->setChecked(rule.on);
        f.threshold->setValue(rule.thresholdMs);
        f.hysteresis->setValue(rule.hysteresisMs);
        f.seconds->setValue(rule.seconds);
    }
    m_noDataBox->setChecked(s.noData);
    m_noDataSecondsBox->setValue(s.noDataSeconds);
    m_deviceLostBox->setChecked(s.deviceLost);
    m_freeSpaceBox->setChecked(s.freeSpace);
    m_freeSpaceMbBox->setValue(s.freeSpaceMb);
    m_clockBox->setChecked(s.clock);
    updateEnabled();
}

AlarmSettings AlarmsDialog::settings() const
{
    AlarmSettings s;
    const auto read = [](const SpeedFields& f) {
        return SpeedAlarmSettings{f.on->isChecked(), f.threshold->value(), f.hysteresis->value(),
                                  f.seconds->value()};
    };
    s.speedAbove = read(m_above);
    s.speedBelow = read(m_below);
    s.noData = m_noDataBox->isChecked();
    s.noDataSeconds = m_noDataSecondsBox->value();
    s.deviceLost = m_deviceLostBox->isChecked();
    s.freeSpace = m_freeSpaceBox->isChecked();
    s.freeSpaceMb = m_freeSpaceMbBox->value();
    s.clock = m_clockBox->isChecked();
    return s;
}

void AlarmsDialog::updateEnabled()
{
    for (const SpeedFields& f : {m_above, m_below}) {
        f.threshold->setEnabled(f.on->isChecked());
        f.hysteresis->setEnabled(f.on->isChecked());
        f.seconds->setEnabled(f.on->isChecked());
    }
    m_noDataSecondsBox->setEnabled(m_noDataBox->isChecked());
    m_freeSpaceMbBox->setEnabled(m_freeSpaceBox->isChecked());
}

void AlarmsDialog::applySettings()
{
    const AlarmSettings s = settings();
    if (const QString error = alarmSettingsError(s); !error.isEmpty()) {
        m_prompts.error(error);
        return;
    }
    try {
        saveAlarmSettings(m_settingsPath, s);
    } catch (const MarvaneError& e) {
        m_prompts.error(e.text());
        return;
    }
    emit applied(s);
    accept();
}
