#include "app/CommsOptionsDialog.h"

#include "app/Look.h"
#include "app/Prompts.h"
#include "app/RadioGroup.h"
#include "base/MarvaneError.h"
#include "settings/PortMapping.h"
#include "settings/ProgramOptions.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

namespace {

// The item data role of a note after a device's path ("(not found on this computer)").
constexpr int kNoteRole = Qt::UserRole + 1;

// A drop-down list that shortens a long device path in its middle rather than cut its end off
// (by-id names differ in their last characters), and never shortens the note after it.
class ElidingComboBox : public QComboBox
{
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        painter.setPen(palette().color(QPalette::Text));
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const int room =
            style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
                .width();
        const QString note = currentData(kNoteRole).toString();
        QString path = option.currentText;
        if (!note.isEmpty() && path.endsWith(note))
            path.chop(note.size());
        const int pathRoom = std::max(room / 3, room - fontMetrics().horizontalAdvance(note));
        option.currentText = fontMetrics().elidedText(path, Qt::ElideMiddle, pathRoom) + note;
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

} // namespace

CommsOptionsDialog::CommsOptionsDialog(ProgramOptions& options, Prompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      m_options(options), m_prompts(prompts)
{
    setObjectName(QStringLiteral("commsOptionsDialog"));
    setWindowTitle(QStringLiteral("Communications"));
    setFixedSize(342, 397);
    setFont(marvaneFont(11));
    setModal(false);

    const auto items = [](std::initializer_list<const char*> texts) {
        QStringList list;
        for (const char* t : texts)
            list << QString::fromLatin1(t);
        return list;
    };
    m_scrollDirectionGroup =
        new RadioGroup(QStringLiteral("scrollDirectionGroup"), QStringLiteral("Data Direction"),
                       items({"Scroll Up", "Scroll Down"}), QRect(10, 10, 100, 75), this);
    m_portGroup =
        new RadioGroup(QStringLiteral("portGroup"), QStringLiteral("Comm Port"),
                       items({"Com 1", "Com 2", "Com 3", "Com 4"}), QRect(10, 89, 100, 120), this);
    m_orientationGroup =
        new RadioGroup(QStringLiteral("orientationGroup"), QStringLiteral("Orientation"),
                       items({"Face Up", "Face Down"}), QRect(10, 214, 100, 58), this);
    m_baudRateGroup =
        new RadioGroup(QStringLiteral("baudRateGroup"), QStringLiteral("Baud Rate"),
                       items({"2400", "4800", "9600", "19200", "38400", "57600", "115200"}),
                       QRect(120, 10, 100, 231), this);
    m_dataBitsGroup = new RadioGroup(QStringLiteral("dataBitsGroup"), QStringLiteral("Data Bits"),
                                     items({"7", "8"}), QRect(232, 10, 100, 70), this);
    m_parityGroup = new RadioGroup(QStringLiteral("parityGroup"), QStringLiteral("Parity"),
                                   items({"None", "Odd", "Even"}), QRect(232, 84, 100, 75), this);
    m_stopBitsGroup = new RadioGroup(QStringLiteral("stopBitsGroup"), QStringLiteral("Stop Bits"),
                                     items({"1", "1.5", "2"}), QRect(232, 165, 100, 75), this);
    // The selections of the layout; loadOptions replaces them before the operator sees them.
    m_scrollDirectionGroup->setItemIndex(0);
    m_portGroup->setItemIndex(1);
    m_baudRateGroup->setItemIndex(3);
    m_dataBitsGroup->setItemIndex(1);
    m_parityGroup->setItemIndex(0);
    m_stopBitsGroup->setItemIndex(0);

    m_reconnectBox = new QCheckBox(QStringLiteral("Reconnect automatically"), this);
    m_reconnectBox->setObjectName(QStringLiteral("reconnectBox"));
    // Beside Orientation, in the room the radio groups leave.
    m_reconnectBox->setGeometry(120, 250, 212, 20);

    auto* deviceLabel = new QLabel(QStringLiteral("Device"), this);
    deviceLabel->setGeometry(10, 281, 46, 16);
    m_deviceBox = new ElidingComboBox(this);
    m_deviceBox->setObjectName(QStringLiteral("deviceBox"));
    m_deviceBox->setGeometry(58, 278, 274, 22);
    m_deviceBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    deviceLabel->setBuddy(m_deviceBox);
    connect(m_deviceBox, &QComboBox::activated, this, &CommsOptionsDialog::chooseDevice);
    for (int i = 0; i < m_portGroup->count(); ++i) {
        connect(m_portGroup->button(i), &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                showDevicesFor(i);
        });
    }
    m_reconnectBox->setToolTip(
        QStringLiteral("Open the port again by itself when the device goes away and comes back"));

    // Below the seven choices: how the log is stamped, the data file, and the sensor's heading.
    auto* timeLabel = new QLabel(QStringLiteral("Time stamps:"), this);
    timeLabel->setGeometry(10, 306, 110, 22);
    m_timeBaseBox = new QComboBox(this);
    m_timeBaseBox->setObjectName(QStringLiteral("timeBaseBox"));
    m_timeBaseBox->addItems({QStringLiteral("UTC"), QStringLiteral("local time")});
    m_timeBaseBox->setGeometry(120, 306, 110, 22);
    m_timeBaseBox->setToolTip(
        QStringLiteral("What the log file's time stamps and the clock are in"));
    auto* headingLabel = new QLabel(QStringLiteral("Heading:"), this);
    headingLabel->setGeometry(240, 306, 50, 22);
    m_headingBox = new QDoubleSpinBox(this);
    m_headingBox->setObjectName(QStringLiteral("headingBox"));
    m_headingBox->setRange(-360, 360);
    m_headingBox->setDecimals(1);
    m_headingBox->setSuffix(QStringLiteral("\u00B0"));
    m_headingBox->setGeometry(290, 306, 44, 22);
    m_headingBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_headingBox->setToolTip(QStringLiteral("The sensor's heading in degrees true, added to "
                                            "every bearing shown, logged and sent (0: none)"));
    m_dataFileBox = new QCheckBox(QStringLiteral("Also write a data file (.csv) beside the log"),
                                  this);
    m_dataFileBox->setObjectName(QStringLiteral("dataFileBox"));
    m_dataFileBox->setGeometry(10, 334, 322, 20);

    const QFont buttonFont = marvaneFont(13);
    m_okButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                                 QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    // At the bottom, under every choice.
    m_okButton->setGeometry(120, 364, 100, 25);
    m_okButton->setFont(buttonFont);
    m_okButton->setDefault(true);
    m_okButton->setAutoDefault(true);
    m_cancelButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                     QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setGeometry(232, 364, 100, 25);
    m_cancelButton->setFont(buttonFont);
    m_cancelButton->setAutoDefault(false);

    connect(m_okButton, &QPushButton::clicked, this, &CommsOptionsDialog::applyOptions);
    connect(m_cancelButton, &QPushButton::clicked, this, &CommsOptionsDialog::discardOptions);

    // Keyboard focus order of the dialog.
    const QList<QWidget*> order = {
        m_scrollDirectionGroup, m_portGroup,     m_deviceBox,    m_baudRateGroup,
        m_parityGroup,          m_dataBitsGroup, m_stopBitsGroup, m_okButton,
        m_cancelButton,         m_orientationGroup, m_reconnectBox, m_timeBaseBox,
        m_headingBox,           m_dataFileBox};
    QList<QWidget*> chain;
    for (QWidget* w : order) {
        if (auto* group = qobject_cast<RadioGroup*>(w)) {
            for (int i = 0; i < group->count(); ++i)
                chain << group->button(i);
        } else {
            chain << w;
        }
    }
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
}

void CommsOptionsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        loadOptions();
}

void CommsOptionsDialog::loadOptions()
{
    // What the file holds now: an operator may have edited it while the program ran.
    const OptionValues values = m_options.readFile();
    const CommsSettings& s = values.comms;
    m_reconnectBox->setChecked(values.reconnect);
    m_timeBaseBox->setCurrentIndex(values.localTime ? 1 : 0);
    m_headingBox->setValue(values.headingOffset);
    m_dataFileBox->setChecked(values.dataFile);
    m_scrollDirectionGroup->setItemIndex(s.scrollDirection);
    m_portGroup->setItemIndex(s.commPort);
    m_orientationGroup->setItemIndex(s.orientation);
    m_baudRateGroup->setItemIndex(s.baudRate);
    m_dataBitsGroup->setItemIndex(s.dataBits);
    m_parityGroup->setItemIndex(s.parity);
    m_stopBitsGroup->setItemIndex(s.stopBits);
    // Each port button tells which device it stands for on this computer.
    m_savedDevices.clear();
    for (int i = 0; i < m_portGroup->count(); ++i) {
        const QString name = QStringLiteral("COM%1").arg(i + 1);
        m_savedDevices << devicePathForPort(name, m_options.settingsPath());
        m_portGroup->button(i)->setToolTip(m_savedDevices.last());
    }
    m_devices = m_savedDevices;
    m_ports = m_listPorts ? m_listPorts() : availableSerialPorts();
    showDevicesFor(m_portGroup->itemIndex());
}

void CommsOptionsDialog::showDevicesFor(int comIndex)
{
    m_deviceBox->clear();
    const bool known = comIndex >= 0 && comIndex < m_devices.size();
    m_deviceBox->setEnabled(known);
    if (!known)
        return;
    const QString current = m_devices.at(comIndex);
    int selected = -1;
    for (const SerialPortEntry& port : std::as_const(m_ports)) {
        if (selected < 0 && (port.device == current || port.systemPath == current))
            selected = m_deviceBox->count();
        m_deviceBox->addItem(port.text(), port.device);
    }
    // The mapping names a device the system does not list: a pseudo-terminal or a link of the
    // operator's own, which is there and shown as it is, or a device not plugged in, which is
    // said to be missing. Either is kept unless another one is chosen.
    if (selected < 0) {
        const QString note = QFileInfo::exists(current)
                                 ? QString()
                                 : QStringLiteral(" (not found on this computer)");
        m_deviceBox->insertItem(0, current + note, current);
        m_deviceBox->setItemData(0, note, kNoteRole);
        selected = 0;
    }
    m_deviceBox->setCurrentIndex(selected);
    m_deviceBox->setToolTip(m_deviceBox->currentText());
    // The list opens wide enough for a long by-id name, beyond the width of the box.
    m_deviceBox->view()->setMinimumWidth(m_deviceBox->view()->sizeHintForColumn(0) + 24);
}

void CommsOptionsDialog::chooseDevice(int item)
{
    const int comIndex = m_portGroup->itemIndex();
    if (comIndex < 0 || comIndex >= m_devices.size() || item < 0)
        return;
    m_devices[comIndex] = m_deviceBox->itemData(item).toString();
    m_deviceBox->setToolTip(m_deviceBox->currentText());
    m_portGroup->button(comIndex)->setToolTip(m_devices.at(comIndex));
}

void CommsOptionsDialog::applyOptions()
{
    OptionValues values = m_options.values();
    CommsSettings& s = values.comms;
    s.scrollDirection = m_scrollDirectionGroup->itemIndex();
    s.commPort = m_portGroup->itemIndex();
    s.orientation = m_orientationGroup->itemIndex();
    s.baudRate = m_baudRateGroup->itemIndex();
    s.dataBits = m_dataBitsGroup->itemIndex();
    s.parity = m_parityGroup->itemIndex();
    s.stopBits = m_stopBitsGroup->itemIndex();
    values.reconnect = m_reconnectBox->isChecked();
    values.localTime = m_timeBaseBox->currentIndex() == 1;
    values.headingOffset = m_headingBox->value();
    values.dataFile = m_dataFileBox->isChecked();
    // Only a mapping changed here is written: one left alone may be the system's default.
    QMap<QString, QString> portDevices;
    for (int i = 0; i < m_devices.size() && i < m_savedDevices.size(); ++i) {
        if (m_devices.at(i) != m_savedDevices.at(i))
            portDevices.insert(QStringLiteral("COM%1").arg(i + 1), m_devices.at(i));
    }
    try {
        // Saved, then in force everywhere through the options' change signal.
        m_options.save(values, portDevices);
        m_savedDevices = m_devices;
    } catch (const MarvaneError& e) {
        // Nothing is applied, and the dialog stays open.
        m_prompts.error(e.text());
        return;
    }
    hide();
    emit applied();
}

void CommsOptionsDialog::discardOptions()
{
    hide();
}
