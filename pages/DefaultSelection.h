#pragma once

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

// The restore-defaults page's group choice, run modally for one run. Mode 0
// shows the SDK devices' groups, mode 1 the HTTP API devices' groups; the two
// radio buttons (keep the address, or restore the whole network) show only
// while the visible column's network box is ticked.
class DefaultSelection : public QDialog
{
    Q_OBJECT

public:
    enum SdkFlag
    {
        SdkDisplay,
        SdkRecord,
        SdkAdvanced,
        SdkIntelligent,
        SdkNetwork,
        SdkDevice,
        SdkSystem,
        SdkExceptNetwork,
        SdkPairing,
        SdkAlarm,
        SdkAll,
        SdkFlagCount
    };
    enum HttpFlag
    {
        HttpChannel,
        HttpRecord,
        HttpAlarm,
        HttpNetwork,
        HttpDevice,
        HttpSystem,
        HttpAi,
        HttpEvent,
        HttpExceptNetwork,
        HttpAll,
        HttpFlagCount
    };
    using SdkFlags = std::array<bool, SdkFlagCount>;
    using HttpFlags = std::array<bool, HttpFlagCount>;

    DefaultSelection(QWidget* page, int mode);

    int Mode() const { return m_mode; }
    // Confirm was clicked; the flags below are read only then.
    bool IsAccepted() const { return m_bAccepted; }
    const SdkFlags& SdkResult() const { return m_sdkFlags; }
    const HttpFlags& HttpResult() const { return m_httpFlags; }

    // Called with each dialog once it is shown, from the event loop that
    // shows it. Tests answer the dialog through it; the program sets none.
    using ShownHook = std::function<void(DefaultSelection*)>;
    static ShownHook SetShownHook(ShownHook hook);

public slots:
    void OnClickConfirm();
    void OnClickExcept();
    void OnClickAll();
    void OnClickNetwork();
    void OnClickHttpNetwork();
    void OnClickCancel();
    void OnClickMediaSelectAll();
    void OnClickHttpSelectAll();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildForm();
    // The radio buttons follow the network box: shown and unticked while it
    // is ticked, unticked, hidden and disabled while it is not.
    void FollowNetworkBox(const QCheckBox* network);
    QList<QCheckBox*> SdkBoxes() const;
    QList<QCheckBox*> HttpBoxes() const;

    const int m_mode;
    bool m_bAccepted = false;
    SdkFlags m_sdkFlags {};
    HttpFlags m_httpFlags {};

    QLabel* m_lTip;
    QWidget* verticalLayoutWidget;
    QVBoxLayout* verticalLayout;
    QCheckBox* m_cAll;
    QCheckBox* m_cAdvanced;
    QCheckBox* m_cAlarm;
    QCheckBox* m_cDevice;
    QCheckBox* m_cDisplay;
    QCheckBox* m_cIntelligent;
    QCheckBox* m_cNetwork;
    QCheckBox* m_cPairing;
    QCheckBox* m_cRecord;
    QCheckBox* m_cSystem;
    QWidget* verticalLayoutWidget_3;
    QVBoxLayout* verticalLayout_3;
    QCheckBox* m_cHttpAll;
    QCheckBox* m_cHttpChannel;
    QCheckBox* m_cHttpRecord;
    QCheckBox* m_cHttpEvent;
    QCheckBox* m_cHttpAlarm;
    QCheckBox* m_cHttpAI;
    QCheckBox* m_cHttpNetwork;
    QCheckBox* m_cHttpDevice;
    QCheckBox* m_cHttpSystem;
    QWidget* verticalLayoutWidget_2;
    QVBoxLayout* verticalLayout_2;
    QRadioButton* m_rExceptNetwork;
    QRadioButton* m_rAll;
    QWidget* horizontalLayoutWidget;
    QHBoxLayout* horizontalLayout;
    QPushButton* m_bConfirm;
    QPushButton* m_bCancel;
};
