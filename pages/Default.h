#pragma once

#include <QWidget>

class QCheckBox;
class QRadioButton;
class ZVDevice;

// Configuration page that restores the factory defaults of chosen parameter
// groups of the login page's device.
class Default : public QWidget
{
    Q_OBJECT

public:
    // Groups a device of the HTTP API may offer, in the order of m_offered.
    enum Group
    {
        Channel,
        Record,
        Event,
        Ai,
        Network,
        ExceptNetworkParam,
        Device,
        System,
        Alarm,
        GroupCount
    };

    explicit Default(QWidget* parent = nullptr);
    ~Default() override;

    int CheckInput() const;
    bool QueryResetRange();
    void UpdateGroupBoxes();
    bool ApplyDefault();

    bool m_offered[GroupCount] = {};
    ZVDevice* m_pDevice = nullptr;

    QCheckBox* m_pChkDisplay;
    QCheckBox* m_pChkRecord;
    QCheckBox* m_pChkAdvanced;
    QCheckBox* m_pChkIntel;
    QCheckBox* m_pChkAlarm;
    QCheckBox* m_pChkNetWork;
    QRadioButton* m_pChkNetWork_2;
    QRadioButton* m_pChkNetWork_3;
    QCheckBox* m_pChkDevice;
    QCheckBox* m_pChkSystem;
    QCheckBox* m_pChkAll;

public slots:
    void on_m_pChkNetWork_clicked(bool checked);
    void OnCherck();

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Retranslate();
    void SetGroupTexts(bool ownKind);
    bool OwnKind() const; // device-kind character "2" or "4"
    bool SupportsNetworkChoice() const;
    // Each group's box, in the order of m_offered.
    void GroupValues(bool values[GroupCount]) const;
    bool ApplyThroughSdk();
    bool ApplyThroughHttp();
};
