#include "app/DataConventionDialog.h"

#include "app/Artwork.h"
#include "app/FixedWindow.h"

#include <QLabel>
#include <QPushButton>

DataConventionDialog::DataConventionDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dataConventionDialog"));
    setUpFixedWindow(this, QStringLiteral("Marvane Data Convention"), QSize(440, 383), false);

    const QSize diagramSize(439, 355);
    m_diagramLabel = new QLabel(this);
    m_diagramLabel->setObjectName(QStringLiteral("diagramLabel"));
    m_diagramLabel->setGeometry(QRect(QPoint(0, 0), diagramSize));

    m_okButton = addOkButton(this, QRect(168, 358, 96, 25));
    connect(m_okButton, &QPushButton::clicked, this, &DataConventionDialog::dismiss);
}

void DataConventionDialog::showEvent(QShowEvent* event)
{
    // The diagram is drawn from its SVG the first time the window is shown, not at start-up:
    // most runs never open it.
    if (m_diagramLabel->pixmap().isNull())
        m_diagramLabel->setPixmap(
            artworkPixmap(QStringLiteral("data-convention"), m_diagramLabel->size()));
    QDialog::showEvent(event);
}

void DataConventionDialog::dismiss()
{
    hide();
}
