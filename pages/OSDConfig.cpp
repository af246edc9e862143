#include "OSDConfig.h"

#include "PageEvents.h"

#include <QSlider>
#include <QVBoxLayout>

OSDConfig::OSDConfig(QWidget* parent)
    : OsdPage(parent, PageEvents::WorkFinishedEvent)
    , m_pSldX(new QSlider(Qt::Horizontal, this))
    , m_pSldY(new QSlider(Qt::Horizontal, this))
    , m_pSldDateX(new QSlider(Qt::Horizontal, this))
    , m_pSldDateY(new QSlider(Qt::Horizontal, this))
{
    setObjectName(QStringLiteral("OSDConfig"));
    m_pSldX->setObjectName(QStringLiteral("m_pSldX"));
    m_pSldY->setObjectName(QStringLiteral("m_pSldY"));
    m_pSldDateX->setObjectName(QStringLiteral("m_pSldDateX"));
    m_pSldDateY->setObjectName(QStringLiteral("m_pSldDateY"));
    QVBoxLayout* layout = CreatePageLayout();
    for (QSlider* slider : { m_pSldX, m_pSldY, m_pSldDateX, m_pSldDateY })
        layout->addWidget(slider);
    layout->addStretch(1);
}
