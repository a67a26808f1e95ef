#include "app/AboutDialog.h"

#include "app/Artwork.h"
#include "app/FixedWindow.h"
#include "app/Look.h"

#include <QAction>
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setUpFixedWindow(this, QStringLiteral("About Marvane"), QSize(292, 326), true);

    m_iconLabel = new QLabel(this);
    m_iconLabel->setObjectName(QStringLiteral("iconLabel"));
    m_iconLabel->setGeometry(24, 16, 32, 32);
    m_iconLabel->setPixmap(artworkPixmap(QStringLiteral("icon"), QSize(32, 32)));

    m_appNameLabel = addLabel("appNameLabel", QStringLiteral("Marvane"), 60, 20, 19);
    m_versionLabel = addLabel("versionLabel", versionText(), 60, 55, 11);

    // The maker and its contact details are fictional; the telephone numbers are from the
    // range set aside for fiction and the addresses use example.com.
    m_address1Label =
        addLabel("address1Label", QStringLiteral("Tessmoor Instruments Ltd"), 60, 70, 11);
    m_address2Label =
        addLabel("address2Label", QStringLiteral("Unit 4, Harbour Works"), 60, 85, 11);
    m_townLabel = addLabel("townLabel", QStringLiteral("Kelmouth"), 60, 100, 11);
    m_countyLabel = addLabel("countyLabel", QStringLiteral("Westshire"), 60, 115, 11);
    m_postCodeLabel = addLabel("postCodeLabel", QStringLiteral("KM4 7TQ"), 60, 130, 11);
    m_countryLabel = addLabel("countryLabel", QStringLiteral("United Kingdom"), 60, 145, 11);
    m_telephoneLabel =
        addLabel("telephoneLabel", QStringLiteral("Tel: +44 (0)1632 960418"), 60, 165, 11);
    m_faxLabel = addLabel("faxLabel", QStringLiteral("Fax: +44 (0)1632 960419"), 60, 180, 11);
    m_emailLabel = addLabel("emailLabel", QStringLiteral("Email: sales@example.com"), 60, 200, 11);
    m_webSiteLabel =
        addLabel("webSiteLabel", QStringLiteral("Web Site: www.example.com"), 60, 215, 11);

    // The file in use moves with the installation, so the window names it.
    m_settingsLabel = addLabel("settingsLabel", QString(), 24, 232, 11);
    m_settingsLabel->setFont(marvaneFont(10));
    m_settingsLabel->setWordWrap(true);
    m_settingsLabel->setGeometry(24, 232, 244, 44);
    m_settingsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* copyAction = new QAction(QStringLiteral("&Copy"), this);
    copyAction->setObjectName(QStringLiteral("copyAboutAction"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copyAction, &QAction::triggered, this, &AboutDialog::copyText);
    addAction(copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    m_okButton = addOkButton(this, QRect(100, 278, 100, 25));
    connect(m_okButton, &QPushButton::clicked, this, &AboutDialog::dismiss);
}

QString AboutDialog::versionText()
{
    // __DATE__ reads "Mmm dd yyyy" with the day padded by a blank.
    const QDate built = QLocale::c().toDate(QString::fromLatin1(__DATE__).simplified(),
                                            QStringLiteral("MMM d yyyy"));
    return QStringLiteral("Version: ") + QStringLiteral(MARVANE_VERSION) +
           QStringLiteral(" (built ") + built.toString(Qt::ISODate) + QStringLiteral(", Qt ") +
           QString::fromLatin1(qVersion()) + QLatin1Char(')');
}

void AboutDialog::setSettingsPath(const QString& path)
{
    m_settingsLine = QStringLiteral("Settings: ") + QDir::toNativeSeparators(path);
    showSettings();
}

void AboutDialog::setHeadingLine(const QString& line)
{
    m_headingLine = line;
    showSettings();
}

void AboutDialog::setClockLine(const QString& line)
{
    m_clockLine = line;
    showSettings();
}

void AboutDialog::showSettings()
{
    const auto lines = [this](const QString& settings) {
        QString shown = settings;
        if (!m_clockLine.isEmpty())
            shown.prepend(m_clockLine + QLatin1Char('\n'));
        if (!m_headingLine.isEmpty())
            shown += QLatin1Char('\n') + m_headingLine;
        return shown;
    };
    // A path has no blanks to wrap at: a zero-width space after each separator gives it some.
    QString settings = m_settingsLine;
    settings.replace(QDir::separator(), QString(QDir::separator()) + QChar(0x200B));
    m_settingsLabel->setText(lines(settings));
    // Beside the clock and a heading a long path has no room to wrap: it is shortened in the
    // middle to one line, and its tooltip and Copy keep it whole.
    const int width = m_settingsLabel->width();
    if (m_settingsLabel->heightForWidth(width) > m_settingsLabel->height()) {
        m_settingsLabel->setText(lines(
            m_settingsLabel->fontMetrics().elidedText(m_settingsLine, Qt::ElideMiddle, width)));
    }
    m_settingsLabel->setToolTip(m_settingsLine);
}

QString AboutDialog::text() const
{
    QStringList lines;
    for (const QLabel* label : {m_appNameLabel, m_versionLabel, m_address1Label, m_address2Label,
                                m_townLabel, m_countyLabel, m_postCodeLabel, m_countryLabel,
                                m_telephoneLabel, m_faxLabel, m_emailLabel, m_webSiteLabel}) {
        lines << label->text();
    }
    if (!m_clockLine.isEmpty())
        lines << m_clockLine;
    if (!m_settingsLine.isEmpty())
        lines << m_settingsLine;
    if (!m_headingLine.isEmpty())
        lines << m_headingLine;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void AboutDialog::copyText()
{
    QGuiApplication::clipboard()->setText(text());
}

void AboutDialog::dismiss()
{
    hide();
}

QLabel* AboutDialog::addLabel(const char* objectName, const QString& text, int x, int y,
                              int pixelSize)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setFont(boldFont(pixelSize));
    label->move(x, y);
    label->adjustSize();
    // Selectable so a version or an address can be copied; the window's own menu copies it all.
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setContextMenuPolicy(Qt::NoContextMenu); // the window's "Copy" menu instead
    return label;
}
