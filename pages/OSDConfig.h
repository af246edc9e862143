#pragma once

#include "OperationPage.h"
#include "PageFactory.h"

class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QVBoxLayout;

// The on-screen display page (page 9, table kind 8): queries or sets where the
// ticked single-channel devices draw their channel name and date on the video,
// and the channel name itself. Each position is a slider mirrored by a number
// edit. Below 1420 px the bottom bar folds onto two rows.
class OSDConfig : public OperationPage, public OsdPage
{
    Q_OBJECT

public:
    explicit OSDConfig(QWidget* parent = nullptr);

    // Both act on every call, even with the value they already have.
    void SetFilterColumn(int column) override;
    void SetFilterText(const QString& text) override;
    void RefreshDeviceList() override;
    void ClearDeviceList() override;
    // The first ticked device's query, once it has succeeded, fills the
    // panel: a Set then writes back what the device holds unless the user
    // changes it.
    void OnDeviceTaskFinished(DeviceInfo* device, bool finished) override;

    DevicePage* Page() override { return this; }
    QSlider* GetSldX() const override { return m_SldX; }
    QSlider* GetSldY() const override { return m_SldY; }
    QSlider* GetSldDateX() const override { return m_SldDateX; }
    QSlider* GetSldDateY() const override { return m_SldDateY; }

    // 2 before the first layout, 0 wide, 1 compact.
    int LayoutMode() const { return m_layoutMode; }

    // The channel name as the page lets it stand: at most 31 UTF-16 units,
    // weighing 3 for each CJK ideograph of U+4E00..U+9FA5 and 1 for any other
    // unit, cut before the unit that takes the sum over 31 and never between
    // the two halves of a surrogate pair.
    static QString CutChannelName(const QString& text);

public slots:
    void OnClickSet();
    void OnClickQuery();
    void OnSetXValue(int value);
    void OnSetYValue(int value);
    void OnSetSldX(const QString& text);
    void OnSetSldY(const QString& text);
    void OnSetDateXValue(int value);
    void OnSetDateYValue(int value);
    void OnSetDateSldX(const QString& text);
    void OnSetDateSldY(const QString& text);
    void CheckChannelName(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();
    void SetWideLayout();
    void SetCompactLayout();
    void TakeBottomWidgets();
    // The edit → slider step: digits only, clamped to max, then the slider.
    static void EditToSlider(QLineEdit* edit, QSlider* slider, int max);
    static void SliderToEdit(QLineEdit* edit, int value);
    void FillPanel(const DeviceInfo* device);

    int m_layoutMode = 2;
    // The device whose query fills the panel, until it reports success.
    DeviceInfo* m_pPanelSource = nullptr;

    CheckBoxTableView* m_pDeviceTableView = nullptr;
    QFrame* m_pFrameButton = nullptr;
    QGroupBox* m_pGroupUserInfo = nullptr;
    QLabel* m_pLabUserName = nullptr;
    LineEdit* m_pEditUserName = nullptr;
    QLabel* m_pLabPassword = nullptr;
    LineEdit* m_pEditPassword = nullptr;
    QGroupBox* m_pGroupOSDInfo = nullptr;
    QLabel* m_pLabChnName = nullptr;
    QLineEdit* m_pEditChnName = nullptr;
    QLabel* m_pLabX = nullptr;
    QLineEdit* m_pEditXvalue = nullptr;
    QSlider* m_SldX = nullptr;
    QLabel* m_pLabY = nullptr;
    QLineEdit* m_pEditYValue = nullptr;
    QSlider* m_SldY = nullptr;
    QLabel* m_pLabDateX = nullptr;
    QLineEdit* m_pEditDateXvalue = nullptr;
    QSlider* m_SldDateX = nullptr;
    QLabel* m_pLabdateY = nullptr;
    QLineEdit* m_pEditdateYValue = nullptr;
    QSlider* m_SldDateY = nullptr;
    QPushButton* m_pBtnQuery = nullptr;
    QPushButton* m_pBtnSet = nullptr;

    QHBoxLayout* m_loginRow = nullptr;
    QGridLayout* m_loginGrid = nullptr;
    QHBoxLayout* m_osdRow = nullptr;
    QGridLayout* m_osdGrid = nullptr;
};
