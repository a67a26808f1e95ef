#include "app/StationDialog.h"

#include "app/Prompts.h"
#include "base/MarvaneError.h"
#include "settings/StationSettings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct FieldLook
{
    StationField field;
    const char* objectName;
    const char* label;
    const char* placeholder;
};

const FieldLook kLooks[] = {
    {StationField::Name, "stationNameEdit", "Station &name:", "Tessmoor pier"},
    {StationField::Id, "stationIdEdit", "Station &id:", "tessmoor-pier (MQTT topic marvane/<id>)"},
    {StationField::Latitude, "latitudeEdit", "&Latitude:", "decimal degrees, north positive"},
    {StationField::Longitude, "longitudeEdit", "L&ongitude:", "decimal degrees, east positive"},
    {StationField::Depth, "depthEdit", "Sensor &depth:", "metres, positive down"},
    {StationField::Instrument, "instrumentEdit", "Instrument &model:", ""},
    {StationField::SerialNumber, "serialNumberEdit", "&Serial number:", ""},
    {StationField::Institution, "institutionEdit", "Ins&titution:", ""},
};

} // namespace

StationDialog::StationDialog(const QString& settingsPath, Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_settingsPath(settingsPath), m_prompts(prompts)
{
    setObjectName(QStringLiteral("stationDialog"));
    setWindowTitle(QStringLiteral("Station"));

    auto* form = new QFormLayout;
    for (const FieldLook& look : kLooks) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(look.objectName));
        edit->setPlaceholderText(QString::fromUtf8(look.placeholder));
        edit->setMaxLength(kStationTextLimit);
        form->addRow(QString::fromLatin1(look.label), edit);
        m_fields.insert(look.field, edit);
    }

    auto* buttons = new QDialogButtonBox(this);
    m_okButton = buttons->addButton(QDialogButtonBox::Ok);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_cancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    connect(m_okButton, &QPushButton::clicked, this, &StationDialog::applySettings);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void StationDialog::showEvent(QShowEvent* event)
{
    setDetails(loadStationSettings(m_settingsPath));
    QDialog::showEvent(event);
}

void StationDialog::setDetails(const StationDetails& details)
{
    for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it)
        it.value()->setText(stationFieldText(details, it.key()));
}

std::optional<StationDetails> StationDialog::details(QString* error) const
{
    StationDetails d;
    for (const FieldLook& look : kLooks) {
        const QString text = m_fields.value(look.field)->text();
        if (const QString why = setStationField(&d, look.field, text); !why.isEmpty()) {
            if (error) {
                *error = QStringLiteral("The station's %1 %2, not \"%3\".")
                             .arg(stationFieldWords(look.field), why, text.trimmed());
            }
            return std::nullopt;
        }
    }
    return d;
}

void StationDialog::applySettings()
{
    QString error;
    const std::optional<StationDetails> d = details(&error);
    if (!d) {
        m_prompts.error(error);
        return;
    }
    try {
        saveStationSettings(m_settingsPath, *d);
    } catch (const MarvaneError& e) {
        m_prompts.error(e.text());
        return;
    }
    emit applied(*d);
    accept();
}
