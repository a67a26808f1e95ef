#include "reference/MarDataCon.h"

#include "reference/Artwork.h"
#include "reference/FixedWindow.h"

#include <QLabel>
#include <QPushButton>

TfrmDataConvention::TfrmDataConvention(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDataConvention"));
    setUpFixedWindow(this, QStringLiteral("Marvane Data Convention"), QSize(440, 383), false);

    const QSize diagramSize(439, 355);
    imgDataConvention = new QLabel(this);
    imgDataConvention->setObjectName(QStringLiteral("imgDataConvention"));
    imgDataConvention->setGeometry(QRect(QPoint(0, 0), diagramSize));
    imgDataConvention->setPixmap(artworkPixmap(QStringLiteral("data-convention"), diagramSize));

    bitbtnOK = addOkButton(this, QRect(168, 358, 96, 25));
    connect(bitbtnOK, &QPushButton::clicked, this, &TfrmDataConvention::bitbtnOKClick);
}

void TfrmDataConvention::bitbtnOKClick()
{
    hide();
}
