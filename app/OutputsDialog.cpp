#include "app/OutputsDialog.h"

#include "app/Prompts.h"
#include "base/MarvaneError.h"
#include "settings/ProgramOptions.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QSpinBox* portBox(const char* name, QWidget* parent)
{
    auto* box = named(new QSpinBox(parent), name);
    box->setRange(1, 65535);
    return box;
}

} // namespace

OutputsDialog::OutputsDialog(const QString& settingsPath, Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_settingsPath(settingsPath), m_prompts(prompts)
{
    setObjectName(QStringLiteral("outputsDialog"));
    setWindowTitle(QStringLiteral("Outputs"));

    auto* nmeaGroup = new QGroupBox(QStringLiteral("NMEA 0183 (VDR set and drift)"), this);
    m_nmeaUdpBox =
        named(new QCheckBox(QStringLiteral("Send UDP datagrams"), nmeaGroup), "nmeaUdpBox");
    m_nmeaUdpHostEdit = named(new QLineEdit(nmeaGroup), "nmeaUdpHostEdit");
    m_nmeaUdpHostEdit->setToolTip(
        QStringLiteral("A host name or address; a broadcast address such as 192.168.1.255 "
                       "reaches every plotter of the network"));
    m_nmeaUdpPortBox = portBox("nmeaUdpPortBox", nmeaGroup);
    m_nmeaTcpBox =
        named(new QCheckBox(QStringLiteral("Serve TCP clients"), nmeaGroup), "nmeaTcpBox");
    m_nmeaTcpPortBox = portBox("nmeaTcpPortBox", nmeaGroup);
    m_nmeaTcpAddressEdit = named(new QLineEdit(nmeaGroup), "nmeaTcpAddressEdit");
    m_nmeaTcpAddressEdit->setPlaceholderText(QStringLiteral("every address"));
    m_nmeaTcpAddressEdit->setToolTip(
        QStringLiteral("The address of this computer the server listens on; empty: every "
                       "address, so any machine of every network it is on may connect; "
                       "127.0.0.1: this computer only"));
    auto* nmeaForm = new QFormLayout(nmeaGroup);
    nmeaForm->addRow(m_nmeaUdpBox);
    nmeaForm->addRow(QStringLiteral("Host:"), m_nmeaUdpHostEdit);
    nmeaForm->addRow(QStringLiteral("Port:"), m_nmeaUdpPortBox);
    nmeaForm->addRow(m_nmeaTcpBox);
    nmeaForm->addRow(QStringLiteral("Address:"), m_nmeaTcpAddressEdit);
    nmeaForm->addRow(QStringLiteral("Port:"), m_nmeaTcpPortBox);
    // A VDR sentence has room only for a true or a magnetic set: without a heading, none goes out.
    m_nmeaHeadingNote = named(new QLabel(nmeaGroup), "nmeaHeadingNote");
    m_nmeaHeadingNote->setWordWrap(true);
    m_nmeaHeadingNote->setText(
        QStringLiteral("No VDR sentence is sent while the sensor's heading is not set (Options): "
                       "the set would be relative to the front of the sensor, not to north."));
    nmeaForm->addRow(m_nmeaHeadingNote);

    auto* mqttGroup = new QGroupBox(QStringLiteral("MQTT"), this);
    m_mqttBox = named(new QCheckBox(QStringLiteral("Publish to a broker"), mqttGroup), "mqttBox");
    m_mqttUrlEdit = named(new QLineEdit(mqttGroup), "mqttUrlEdit");
    m_mqttUrlEdit->setPlaceholderText(QStringLiteral("mqtt://[user@]host[:port]"));
    m_mqttTopicEdit = named(new QLineEdit(mqttGroup), "mqttTopicEdit");
    m_mqttTopicEdit->setPlaceholderText(
        QStringLiteral("marvane/<station id>, or without one marvane/<host name>/<port>"));
    m_mqttCaFileEdit = named(new QLineEdit(mqttGroup), "mqttCaFileEdit");
    m_mqttCaFileEdit->setToolTip(QStringLiteral("Certificate authority for mqtts://; empty: the "
                                                "system's certificates"));
    m_mqttPasswordFileEdit = named(new QLineEdit(mqttGroup), "mqttPasswordFileEdit");
    m_mqttPasswordFileEdit->setToolTip(
        QStringLiteral("A file holding the password; empty: the environment variable "
                       "MARVANE_MQTT_PASSWORD"));
    // Wide enough for the placeholders to be read whole; the file names get the same room.
    int textWidth = 0;
    for (QLineEdit* edit : {m_mqttUrlEdit, m_mqttTopicEdit})
        textWidth = std::max(textWidth,
                             edit->fontMetrics().horizontalAdvance(edit->placeholderText()) + 24);
    for (QLineEdit* edit : {m_nmeaUdpHostEdit, m_mqttUrlEdit, m_mqttTopicEdit, m_mqttCaFileEdit,
                            m_mqttPasswordFileEdit})
        edit->setMinimumWidth(textWidth);
    auto* mqttForm = new QFormLayout(mqttGroup);
    mqttForm->addRow(m_mqttBox);
    mqttForm->addRow(QStringLiteral("Broker:"), m_mqttUrlEdit);
    mqttForm->addRow(QStringLiteral("Topic:"), m_mqttTopicEdit);
    mqttForm->addRow(QStringLiteral("CA file:"), m_mqttCaFileEdit);
    mqttForm->addRow(QStringLiteral("Password file:"), m_mqttPasswordFileEdit);

    auto* buttons = new QDialogButtonBox(this);
    m_okButton = named(buttons->addButton(QDialogButtonBox::Ok), "okButton");
    m_cancelButton = named(buttons->addButton(QDialogButtonBox::Cancel), "cancelButton");
    connect(m_okButton, &QPushButton::clicked, this, &OutputsDialog::applySettings);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nmeaGroup);
    layout->addWidget(mqttGroup);
    layout->addWidget(buttons);

    for (QCheckBox* box : {m_nmeaUdpBox, m_nmeaTcpBox, m_mqttBox})
        connect(box, &QCheckBox::toggled, this, &OutputsDialog::updateEnabled);
    setSettings(OutputSettings());
}

void OutputsDialog::showEvent(QShowEvent* event)
{
    // Loaded on every showing: the operator may have edited marvane.ini meanwhile.
    setSettings(loadOutputSettings(m_settingsPath));
    m_nmeaHeadingNote->setVisible(!readOptionValues(m_settingsPath, nullptr).headingOffset);
    QDialog::showEvent(event);
}

void OutputsDialog::setSettings(const OutputSettings& s)
{
    m_loaded = s;
    m_nmeaUdpBox->setChecked(s.nmeaUdp);
    m_nmeaUdpHostEdit->setText(s.nmeaUdpHost);
    m_nmeaUdpPortBox->setValue(s.nmeaUdpPort);
    m_nmeaTcpBox->setChecked(s.nmeaTcp);
    m_nmeaTcpPortBox->setValue(s.nmeaTcpPort);
    m_nmeaTcpAddressEdit->setText(s.nmeaTcpAddress);
    m_mqttBox->setChecked(s.mqtt);
    m_mqttUrlEdit->setText(s.mqttUrl);
    m_mqttTopicEdit->setText(s.mqttTopic);
    m_mqttCaFileEdit->setText(s.mqttCaFile);
    m_mqttPasswordFileEdit->setText(s.mqttPasswordFile);
    updateEnabled();
}

OutputSettings OutputsDialog::settings() const
{
    OutputSettings s = m_loaded;
    s.nmeaUdp = m_nmeaUdpBox->isChecked();
    s.nmeaUdpHost = m_nmeaUdpHostEdit->text().trimmed();
    s.nmeaUdpPort = quint16(m_nmeaUdpPortBox->value());
    s.nmeaTcp = m_nmeaTcpBox->isChecked();
    s.nmeaTcpPort = quint16(m_nmeaTcpPortBox->value());
    s.nmeaTcpAddress = m_nmeaTcpAddressEdit->text().trimmed();
    s.mqtt = m_mqttBox->isChecked();
    s.mqttUrl = m_mqttUrlEdit->text().trimmed();
    s.mqttTopic = m_mqttTopicEdit->text();
    s.mqttCaFile = m_mqttCaFileEdit->text().trimmed();
    s.mqttPasswordFile = m_mqttPasswordFileEdit->text().trimmed();
    return s;
}

void OutputsDialog::updateEnabled()
{
    m_nmeaUdpHostEdit->setEnabled(m_nmeaUdpBox->isChecked());
    m_nmeaUdpPortBox->setEnabled(m_nmeaUdpBox->isChecked());
    m_nmeaTcpPortBox->setEnabled(m_nmeaTcpBox->isChecked());
    m_nmeaTcpAddressEdit->setEnabled(m_nmeaTcpBox->isChecked());
    for (QLineEdit* edit :
         {m_mqttUrlEdit, m_mqttTopicEdit, m_mqttCaFileEdit, m_mqttPasswordFileEdit})
        edit->setEnabled(m_mqttBox->isChecked());
}

void OutputsDialog::applySettings()
{
    const OutputSettings s = settings();
    // An address or topic is checked also while its output is off: what is saved is usable
    // the day it is turned on.
    QString error = outputSettingsError(s);
    if (error.isEmpty() && !s.mqttUrl.isEmpty())
        parseMqttUrl(s.mqttUrl, &error);
    if (error.isEmpty() && !s.mqttTopic.isEmpty())
        error = topicError(s.mqttTopic);
    if (error.isEmpty() && !s.nmeaTcpAddress.isEmpty()) {
        if (const QString e = listenAddressError(s.nmeaTcpAddress); !e.isEmpty())
            error = QStringLiteral("NMEA TCP server: ") + e;
    }
    if (!error.isEmpty()) {
        m_prompts.error(error);
        return;
    }
    try {
        saveOutputSettings(m_settingsPath, s);
    } catch (const MarvaneError& e) {
        m_prompts.error(e.text());
        return;
    }
    m_loaded = s;
    emit applied(s);
    accept();
}
