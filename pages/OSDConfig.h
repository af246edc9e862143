#pragma once

#include "PageFactory.h"

class QSlider;

// The on-screen display page (page 9): sets the checked devices' on-screen
// name and date, placed with four position sliders. The rest of its form and
// its operation come with the page's own work.
class OSDConfig : public OsdPage
{
    Q_OBJECT

public:
    explicit OSDConfig(QWidget* parent = nullptr);

    QSlider* GetSldX() const override { return m_pSldX; }
    QSlider* GetSldY() const override { return m_pSldY; }
    QSlider* GetSldDateX() const override { return m_pSldDateX; }
    QSlider* GetSldDateY() const override { return m_pSldDateY; }

private:
    QSlider* m_pSldX;
    QSlider* m_pSldY;
    QSlider* m_pSldDateX;
    QSlider* m_pSldDateY;
};
