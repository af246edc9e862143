#pragma once

#include "OperationPage.h"

#include <QDateTime>
#include <QHash>

class QComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The stream configuration page (page 8, table kind 7): queries one video
// stream of the ticked devices, writes the settings of a query back to them,
// and sets their clocks to the computer's. Set writes only values that a
// successful query of the chosen stream returned.
class StreamConfigFrame : public OperationPage
{
    Q_OBJECT

public:
    explicit StreamConfigFrame(QWidget* parent = nullptr);

    void SetFilterColumn(int column) override;
    void RefreshDeviceList() override;
    void ClearDeviceList() override;
    void OnDeviceTaskFinished(DeviceInfo* device, bool finished) override;

public slots:
    void OnClickQuery();
    void OnClickSet();
    void on_m_pBtnSetTime_clicked();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    // What one stream query of a device returned.
    struct StreamValues
    {
        int streamIndex = -1;
        QString fpsText;
        QString encodeTypeText;
        QString resolutionText;
        int bitrateIndex = 0;
        int customBitrate = 0;
        int bitrateMode = 0;
        QString bitrateModeText;
    };

    void BuildForm();
    // The report's values become the held ones (HTTP API codes), or are kept
    // as the device's last query (the other codes).
    void NoteStreamValues(DeviceInfo* device);
    // The held values for a Set of the chosen stream; false (message 193
    // shown) when no successful query of that stream gave them.
    bool TakeHeldValues(const QList<DeviceInfo*>& devices);
    // The " not suppose!" message for each device with other than one channel.
    void WarnMultiChannel(DeviceInfo* device);
    // Locks the page, prepares each device with setters and queues task.
    template <typename Setters> void RunBatch(const QList<DeviceInfo*>& devices, void (*task)(void*), Setters setters);

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* m_pBottom;
    QHBoxLayout* m_pBottomLayout;
    QLabel* m_pLabUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLabPassword;
    LineEdit* m_pEditPassword;
    QComboBox* m_pStreamComBox;
    QPushButton* m_pBtnQuery;
    QPushButton* m_pBtnSet;
    QPushButton* m_pBtnSetTime;

    // The held stream settings that Set writes.
    QString m_heldFpsText;
    QString m_heldEncodeTypeText;
    QString m_heldResolutionText;
    int m_heldBitrateIndex = 0;
    int m_heldCustomBitrate = 0;
    int m_heldBitrateMode = 0;
    int m_heldStreamIndex = -1;
    QString m_heldBitrateModeText;
    // HTTP API codes: the held values were copied from a successful query.
    bool m_bHeldFromQuery = false;
    // The other codes: each device's last successful query, by device.
    QHash<const DeviceInfo*, StreamValues> m_queriedValues;
};
