#include "reference/MarvaneAbout.h"

#include "reference/Artwork.h"
#include "reference/FixedWindow.h"

#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setUpFixedWindow(this, QStringLiteral("About Marvane"), QSize(292, 312), true);

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(24, 16, 32, 32);
    imgIcon->setPixmap(artworkPixmap(QStringLiteral("icon"), QSize(32, 32)));

    lblAppName = addLabel("lblAppName", QStringLiteral("Marvane"), 60, 20, 19);
    lblVersion = addLabel("lblVersion", versionText(), 60, 55, 11);

    // The maker and its contact details are fictional; the telephone numbers are from the
    // range set aside for fiction and the addresses use example.com.
    lblAddress1 = addLabel("lblAddress1", QStringLiteral("Tessmoor Instruments Ltd"), 60, 70, 11);
    lblAddress2 = addLabel("lblAddress2", QStringLiteral("Unit 4, Harbour Works"), 60, 85, 11);
    lblTown = addLabel("lblTown", QStringLiteral("Kelmouth"), 60, 100, 11);
    lblCounty = addLabel("lblCounty", QStringLiteral("Westshire"), 60, 115, 11);
    lblPostCode = addLabel("lblPostCode", QStringLiteral("KM4 7TQ"), 60, 130, 11);
    lblCountry = addLabel("lblCountry", QStringLiteral("United Kingdom"), 60, 145, 11);
    lblTelephone = addLabel("lblTelephone", QStringLiteral("Tel: +44 (0)1632 960418"), 60, 165, 11);
    lblFax = addLabel("lblFax", QStringLiteral("Fax: +44 (0)1632 960419"), 60, 180, 11);
    lblEmail = addLabel("lblEmail", QStringLiteral("Email: sales@example.com"), 60, 200, 11);
    lblWebSite = addLabel("lblWebSite", QStringLiteral("Web Site: www.example.com"), 60, 215, 11);

    bitbtnOK = addOkButton(this, QRect(100, 264, 100, 25));
    connect(bitbtnOK, &QPushButton::clicked, this, &TfrmAbout::bitbtnOKClick);
}

QString TfrmAbout::versionText()
{
    // __DATE__ reads "Mmm dd yyyy" with the day padded by a blank.
    const QDate built = QLocale::c().toDate(QString::fromLatin1(__DATE__).simplified(),
                                            QStringLiteral("MMM d yyyy"));
    return QStringLiteral("Version: ") + QStringLiteral(MARVANE_VERSION) +
           QStringLiteral(" (built ") + built.toString(Qt::ISODate) + QStringLiteral(", Qt ") +
           QString::fromLatin1(qVersion()) + QLatin1Char(')');
}

void TfrmAbout::bitbtnOKClick()
{
    hide();
}

QLabel* TfrmAbout::addLabel(const char* objectName, const QString& text, int x, int y,
                            int pixelSize)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setFont(boldFont(pixelSize));
    label->move(x, y);
    label->adjustSize();
    return label;
}
