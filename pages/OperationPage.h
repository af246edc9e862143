#pragma once

#include "DevicePage.h"

#include <QModelIndex>

#include <initializer_list>

class CheckBoxTableModel;
class CheckBoxTableView;
class LineEdit;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTimer;

// The batch operation pages' common pattern: a device table of the page's
// kind over a bottom bar. A button slot refuses when nothing is ticked, takes
// the ticked devices, locks the page (and the tool bar), prepares each device
// and queues one task per device. The devices report back through
// OnDeviceTaskFinished; the last to finish posts the done event, which
// unlocks. Timer pages also unlock at the first tick of CheckWorkDeviceList
// at which no device of the batch is logged in.
class OperationPage : public DevicePage
{
    Q_OBJECT

public:
    using Requester = DeviceTaskListener* DeviceInfo::*;

    // kind: the table kind; requester: the device's pointer to this page family.
    OperationPage(QWidget* parent, QEvent::Type doneEvent, int kind, Requester requester, bool timerPage);
    ~OperationPage() override;

    void SetFilterColumn(int column) override;
    void SetFilterText(const QString& text) override;
    void RefreshDeviceList() override;
    void ClearDeviceList() override;

    CheckBoxTableModel* Model() const { return m_pModel; }
    CheckBoxTableView* TableView() const { return m_pTableView; }
    QTimer* BusyTimer() const { return m_pTimer; }

public slots:
    // Plain form: a click on the IP column opens the device's web page.
    virtual void onClickTableView(const QModelIndex& index);
    void CheckWorkDeviceList();

protected:
    // The form's frame: the table ("m_pDeviceTableView") above the bottom bar
    // ("UpgradeFrameBottom" with its "horizontalLayout"), in the page layout.
    CheckBoxTableView* CreateTableAndBottomBar(QFrame** bottom, QHBoxLayout** bottomLayout);
    // Creates the model of the page's kind on the view (its parent) and gives
    // the view the model's proxy; connects the view's clicks.
    void SetupTable(CheckBoxTableView* view);
    // Fills the login edits from the default login, with password echo;
    // maxBytes > 0 also limits them.
    static void PrefillLogin(LineEdit* user, LineEdit* password, int maxBytes);
    // Widens the buttons to their texts (after each language change).
    static void FitButtons(std::initializer_list<QPushButton*> buttons);
    // The table above a control frame ("m_pFrameCtrl", a raised styled panel)
    // and its layout.
    CheckBoxTableView* CreateTableAndControlFrame(QFrame** frame, QHBoxLayout** frameLayout);
    // The bottom bar's widgets, 25 px high, appended to its layout.
    static QLabel* AddBarLabel(QFrame* bar, QHBoxLayout* layout, const char* name, int minWidth, int maxWidth);
    static LineEdit* AddBarEdit(QFrame* bar, QHBoxLayout* layout, const char* name, int width, bool passwordEcho);
    static QPushButton* AddBarButton(QFrame* bar, QHBoxLayout* layout, const char* name, int width);

    // The refusal: text in a warning box with OK, inside a dialog titled title.
    void ShowRefusal(int textId, int titleId, const QString& dialogStyleSheet = QString());
    // The query box: OK and Cancel, information icon; the answer is not read.
    void ShowQuery(int textId, int titleId, const QString& dialogStyleSheet = QString());
    // A button of fixed width keeps it unless its text needs more.
    static void FitFixedButton(QPushButton* button, int width);
    // Labels of bounded width may grow beyond maxWidth to show their texts whole.
    static void FitLabels(std::initializer_list<QLabel*> labels, int maxWidth);
    // How a button slot starts: the working list (and with clearBusy the busy
    // list) emptied; no device ticked: refusal 51 with the title (and the
    // dialog's style sheet), and false. Else the ticked devices, in the
    // model's order.
    bool StartAction(
        int titleId, QList<DeviceInfo*>* devices, bool clearBusy = false, const QString& dialogStyleSheet = QString());

    // Each device's preparation, in list order: waiting, this page as
    // requester (an earlier one stays), the login, then the operation's own
    // setters; then the batch's rows, refreshed together.
    template <typename Setters>
    void PrepareDevices(
        const QList<DeviceInfo*>& devices, const QString& user, const QString& password, Setters setters)
    {
        for (DeviceInfo* device : devices) {
            PrepareStatusAndLogin(device, user, password);
            setters(device);
        }
        RefreshRows(devices);
    }
    void PrepareDevices(const QList<DeviceInfo*>& devices, const QString& user, const QString& password)
    {
        PrepareDevices(devices, user, password, [](DeviceInfo*) {});
    }
    void PrepareStatusAndLogin(DeviceInfo* device, const QString& user, const QString& password);
    // Queues the task for each device on the normal queue. A device whose
    // task cannot be queued fails at once and leaves the working list.
    void QueueDevices(void (*task)(void*), const QList<DeviceInfo*>& devices);
    // Timer pages: the busy list becomes a copy of devices.
    void SetBusyDevices(const QList<DeviceInfo*>& devices);
    void StartBusyTimer();
    // A timer page's batch once its checks have passed: the devices become
    // the busy and working lists, the page and the tool bar lock, each device
    // is prepared and gets its task, and the busy poll starts.
    template <typename Setters>
    void RunTimerBatch(const QList<DeviceInfo*>& devices, void (*task)(void*), const QString& user,
        const QString& password, Setters setters)
    {
        SetBusyDevices(devices);
        BeginBatch(devices, true);
        PrepareDevices(devices, user, password, setters);
        QueueDevices(task, devices);
        StartBusyTimer();
    }
    void RunTimerBatch(
        const QList<DeviceInfo*>& devices, void (*task)(void*), const QString& user, const QString& password)
    {
        RunTimerBatch(devices, task, user, password, [](DeviceInfo*) {});
    }

    void RefreshRow(DeviceInfo* device) override;
    void RefreshRows(const QList<DeviceInfo*>& devices);
    // Whether a device of the batch still holds the busy poll: by default
    // while it is logged in.
    virtual bool IsDeviceWorking(const DeviceInfo* device) const;

    CheckBoxTableModel* m_pModel = nullptr;
    QTimer* m_pTimer = nullptr;
    QList<DeviceInfo*> m_busyDevices;

private:
    const int m_kind;
    const Requester m_requester;
    CheckBoxTableView* m_pTableView = nullptr;
};
