#include "MainFrame.h"

#include "LanguageTexts.h"
#include "ZVAppSetting.h"

#include <QLabel>
#include <QVBoxLayout>

MainFrame::MainFrame(QWidget* parent) : QWidget(parent), m_pLabelTitle(new QLabel(this))
{
    setObjectName(QStringLiteral("MainFrame"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pLabelTitle);
    resize(1024, 680);
    RetranslateUi();
    ZVAppSetting::Instance()->AddLanguageListener(this);
}

MainFrame::~MainFrame()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

void MainFrame::customEvent(QEvent* event)
{
    if (event->type() == LanguageChangedEvent::EventType)
        RetranslateUi();
}

void MainFrame::RetranslateUi()
{
    m_pLabelTitle->setText(LanguageText(0));
}
