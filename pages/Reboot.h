#pragma once

#include <QWidget>

class QPushButton;
class ZVDevice;

// Configuration page that reboots the login page's device; its own button
// runs the configuration's Set flow.
class Reboot : public QWidget
{
    Q_OBJECT

public:
    explicit Reboot(QWidget* parent = nullptr);
    ~Reboot() override;

    int CheckInput() const { return 79; }
    bool ApplyReboot();

    QPushButton* RebootButton() const { return m_pBtnReboot; }

    ZVDevice* m_pDevice = nullptr;

signals:
    void onReboot();

public slots:
    void OnClickReboot();

protected:
    void customEvent(QEvent* event) override;

private:
    QPushButton* m_pBtnReboot;
};
