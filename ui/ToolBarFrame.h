#pragma once

#include <QFrame>
#include <QSet>
#include <QVector>

#include <array>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The row under the main window's title bar: the customer's page buttons, the
// LAN search protocol and the filter. It only emits signals; the main window
// acts on them, and pages lock it while a batch runs.
class ToolBarFrame : public QFrame
{
    Q_OBJECT

public:
    enum PageButton
    {
        ButtonSearch,
        ButtonUpgrade,
        ButtonConfig,
        ButtonDeviceInfo,
        ButtonImportExport,
        ButtonChangePassword,
        ButtonExportExcel,
        ButtonExtranetSearch,
        ButtonStreamConfig,
        ButtonOSDConfig,
        ButtonRecoveryDevice,
        ButtonInitialDevice,
        ButtonRebootDevice,
        ButtonChangeDevice,
        ButtonCount
    };

    explicit ToolBarFrame(QWidget* parent = nullptr);
    ~ToolBarFrame() override;

    void RefillFilterCombo(bool streamMode);
    int GetFilterColumn() const;
    void SetControlsEnabled(bool enabled);
    // A page holds the bar locked while its batch or search runs; another
    // page's end must not unlock it meanwhile.
    void HoldLock(const QObject* page, bool held);
    bool IsLockedByOther(const QObject* page) const;
    void SetPageButtonsVisible(bool visible);

    QPushButton* Button(PageButton which) const { return m_pageButtons[which]; }
    // Shown for this customer (and protocol) and the current page.
    bool IsShownAndChecked(PageButton which) const;
    QString FilterText() const;
    QLabel* FilterLabel() const { return m_pLabelFilter; }
    QLineEdit* FilterEdit() const { return m_pEditFilter; }
    QComboBox* FilterCombo() const { return m_pComboFilter; }
    QLabel* ProtocolLabel() const { return m_pLabelProtocol; }
    QComboBox* ProtocolCombo() const { return m_pComboProtocol; }

    // The buttons after Search, Upgrade and Config that a customer code shows,
    // left to right.
    static QVector<PageButton> FurtherButtons(int companyCode);
    static bool ShowsProtocol(int companyCode);

signals:
    void SearchRequest();
    void UpgradeRequest();
    void ConfigRequest();
    void DeviceInfoRequest();
    void ImportExportRequest();
    void ChangePasswordRequest();
    void ExportExcelRequest();
    void ExtranetSearchRequest();
    void StreamConfigRequest();
    void OSDConfigRequest();
    void FilterIndexChangedRequest();
    void FilterTextChangedRequest();
    void ProtocolIndexChangedRequest();
    void RecoveryDeviceRequest();
    void InitialDeviceRequest();
    void RebootDeviceRequest();
    void ChangeDeviceRequest();

public slots:
    void FilterItemChangedRequest();

protected:
    void customEvent(QEvent* event) override;

private:
    void BuildRow();
    void SetButtonSizes();
    void RetranslateTexts();
    void FitTexts();

    std::array<QPushButton*, ButtonCount> m_pageButtons {};
    // The widest each button may be by the customer's layout; a longer text widens it.
    std::array<int, ButtonCount> m_maximumWidths {};
    QButtonGroup* m_pButtonGroup;
    QLabel* m_pLabelFilter;
    QLineEdit* m_pEditFilter;
    QComboBox* m_pComboFilter;
    QLabel* m_pLabelProtocol;
    QComboBox* m_pComboProtocol;
    QSet<const QObject*> m_lockHolders;
};
