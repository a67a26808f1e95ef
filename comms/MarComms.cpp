#include "comms/MarComms.h"

#include "app/Look.h"
#include "app/MarCommon.h"
#include "app/MarvaneError.h"
#include "app/ProgramOptions.h"
#include "app/Prompts.h"
#include "comms/PortMapping.h"
#include "comms/RadioGroup.h"

#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>

TfrmCommsSetup::TfrmCommsSetup(ProgramOptions& options, Prompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      m_options(options), m_prompts(prompts)
{
    setObjectName(QStringLiteral("frmCommsSetup"));
    setWindowTitle(QStringLiteral("Communications"));
    setFixedSize(342, 276);
    setFont(marvaneFont(11));
    setModal(false);

    const auto items = [](std::initializer_list<const char*> texts) {
        QStringList list;
        for (const char* t : texts)
            list << QString::fromLatin1(t);
        return list;
    };
    grpDataDirection =
        new RadioGroup(QStringLiteral("grpDataDirection"), QStringLiteral("Data Direction"),
                       items({"Scroll Up", "Scroll Down"}), QRect(10, 10, 100, 75), this);
    grpCommPort =
        new RadioGroup(QStringLiteral("grpCommPort"), QStringLiteral("Comm Port"),
                       items({"Com 1", "Com 2", "Com 3", "Com 4"}), QRect(10, 89, 100, 120), this);
    grpOrientation = new RadioGroup(QStringLiteral("grpOrientation"), QStringLiteral("Orientation"),
                                    items({"Face Up", "Face Down"}), QRect(10, 214, 100, 58), this);
    grpBaudRate =
        new RadioGroup(QStringLiteral("grpBaudRate"), QStringLiteral("Baud Rate"),
                       items({"2400", "4800", "9600", "19200", "38400", "57600", "115200"}),
                       QRect(120, 10, 100, 231), this);
    grpDataBits = new RadioGroup(QStringLiteral("grpDataBits"), QStringLiteral("Data Bits"),
                                 items({"7", "8"}), QRect(232, 10, 100, 70), this);
    grpParity = new RadioGroup(QStringLiteral("grpParity"), QStringLiteral("Parity"),
                               items({"None", "Odd", "Even"}), QRect(232, 84, 100, 75), this);
    grpStopBits = new RadioGroup(QStringLiteral("grpStopBits"), QStringLiteral("Stop Bits"),
                                 items({"1", "1.5", "2"}), QRect(232, 165, 100, 75), this);
    // The selections of the layout; FormShow replaces them before the operator sees them.
    grpDataDirection->setItemIndex(0);
    grpCommPort->setItemIndex(1);
    grpBaudRate->setItemIndex(3);
    grpDataBits->setItemIndex(1);
    grpParity->setItemIndex(0);
    grpStopBits->setItemIndex(0);

    const QFont buttonFont = marvaneFont(13);
    bitbtnOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                               QStringLiteral("OK"), this);
    bitbtnOK->setObjectName(QStringLiteral("bitbtnOK"));
    bitbtnOK->setGeometry(120, 248, 100, 25);
    bitbtnOK->setFont(buttonFont);
    bitbtnOK->setDefault(true);
    bitbtnOK->setAutoDefault(true);
    bitbtnCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                   QStringLiteral("Cancel"), this);
    bitbtnCancel->setObjectName(QStringLiteral("bitbtnCancel"));
    bitbtnCancel->setGeometry(232, 248, 100, 25);
    bitbtnCancel->setFont(buttonFont);
    bitbtnCancel->setAutoDefault(false);

    connect(bitbtnOK, &QPushButton::clicked, this, &TfrmCommsSetup::bitbtnOKClick);
    connect(bitbtnCancel, &QPushButton::clicked, this, &TfrmCommsSetup::bitbtnCancelClick);

    // Keyboard focus order of the dialog.
    const QList<QWidget*> order = {grpDataDirection, grpCommPort,  grpBaudRate,
                                   grpParity,        grpDataBits,  grpStopBits,
                                   bitbtnOK,         bitbtnCancel, grpOrientation};
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

void TfrmCommsSetup::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmCommsSetup::FormShow()
{
    m_options.comms = LoadSettings(m_options.settingsPath);
    const CommsSettings& s = m_options.comms;
    grpDataDirection->setItemIndex(s.ScrollDirection);
    grpCommPort->setItemIndex(s.CommPort);
    grpOrientation->setItemIndex(s.Orientation);
    grpBaudRate->setItemIndex(s.BaudRate);
    grpDataBits->setItemIndex(s.DataBits);
    grpParity->setItemIndex(s.Parity);
    grpStopBits->setItemIndex(s.StopBits);
    // Each port button tells which device it stands for on this computer.
    for (int i = 0; i < grpCommPort->count(); ++i) {
        const QString name = QStringLiteral("COM%1").arg(i + 1);
        grpCommPort->button(i)->setToolTip(devicePathForPort(name, m_options.settingsPath));
    }
}

void TfrmCommsSetup::bitbtnOKClick()
{
    CommsSettings& s = m_options.comms;
    s.ScrollDirection = grpDataDirection->itemIndex();
    s.CommPort = grpCommPort->itemIndex();
    s.Orientation = grpOrientation->itemIndex();
    s.BaudRate = grpBaudRate->itemIndex();
    s.DataBits = grpDataBits->itemIndex();
    s.Parity = grpParity->itemIndex();
    s.StopBits = grpStopBits->itemIndex();
    try {
        SaveSettings(m_options.settingsPath, s);
    } catch (const MarvaneError& e) {
        // The indices stay stored but are not applied, and the dialog stays open.
        m_prompts.error(e.text());
        return;
    }
    ApplyCommsSettings(s, m_options.port, m_options.flags);
    hide();
    emit applied();
}

void TfrmCommsSetup::bitbtnCancelClick()
{
    hide();
}
