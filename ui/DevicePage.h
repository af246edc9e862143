#pragma once

#include "BatchAddresses.h"
#include "DeviceTaskListener.h"

#include <QEvent>
#include <QFrame>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

class DeviceInfo;
class QLabel;
class QVBoxLayout;
class ToolBarFrame;

// A page of the main window that lists devices and runs an operation on the
// checked ones. The main window pushes the tool bar's filter to it, the LAN
// search asks it to list the new devices, and the devices report back through
// OnDeviceTaskFinished on the GUI thread.
//
// The batch itself is written once here: BeginBatch locks the page's action
// widgets (and the tool bar where the page asks for it); each device that ends
// its part leaves the working list; the last one posts the page's done event,
// which unlocks what was locked.
class DevicePage : public QFrame, public DeviceTaskListener
{
    Q_OBJECT

public:
    DevicePage(QWidget* parent, QEvent::Type doneEvent);
    ~DevicePage() override;

    // The tool bar's filter: key column and text. The base keeps them for the
    // page's table to apply.
    virtual void SetFilterColumn(int column);
    virtual void SetFilterText(const QString& text);
    // A LAN search has finished: list its devices.
    virtual void RefreshDeviceList();
    // A new LAN search is about to free the devices listed: keep none of them.
    // By default the page lists the LAN list, emptied by then, again.
    virtual void ClearDeviceList();
    // The same for each page a search gives its devices to.
    static void RefreshDeviceLists(const QList<DevicePage*>& pages);
    static void ClearDeviceLists(const QList<DevicePage*>& pages);

    void OnDeviceTaskFinished(DeviceInfo* device, bool finished) override;

    int FilterColumn() const { return m_filterColumn; }
    QString FilterText() const { return m_filterText; }
    QEvent::Type DoneEventType() const { return m_doneEvent; }
    // A batch runs: some device of it has not finished.
    bool IsBatchRunning() const;

    // The main window's tool bar, set after the pages are built (null before).
    ToolBarFrame* m_pToolBarFrame = nullptr;

protected:
    // Runs call now when on the page's thread and returns true; otherwise
    // queues it there (dropped if the page is gone by then) and returns false.
    template <typename Call> bool OnPageThread(Call call)
    {
        if (QThread::currentThread() == thread())
            return true;
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        return false;
    }

    // The page's top-level layout ("verticalLayout", no margins): the table
    // above the page's bottom bar.
    QVBoxLayout* CreatePageLayout();

    // Takes the devices as the working list and locks the page (and the tool
    // bar when lockToolBar) until the last of them has finished.
    void BeginBatch(const QList<DeviceInfo*>& devices, bool lockToolBar);
    // Takes the devices as the working list without locking anything.
    void SetWorkingDevices(const QList<DeviceInfo*>& devices);

    // A typed network setting's label and edit.
    struct NetworkField
    {
        const QLabel* label;
        QWidget* edit;
    };
    // Refuses what CheckNetworkInput found at fault: a message names the
    // field by its label, and its edit takes the focus. Nothing is sent.
    void RefuseNetworkInput(const NetworkInputFault& fault, const NetworkField& address, const NetworkField& netmask,
        const NetworkField& gateway, const QString& dialogStyleSheet = QString());

    // Enables or disables the widgets that start the page's operation.
    virtual void SetActionsEnabled(bool enabled);
    // Shows the device's current state in its row.
    virtual void RefreshRow(DeviceInfo* device);
    // Sets every text of the page from the language table.
    virtual void RetranslateTexts();
    // The done event has arrived: unlock what BeginBatch locked.
    virtual void OnBatchFinished();

    void customEvent(QEvent* event) override;

    mutable QMutex m_mutex;
    QList<DeviceInfo*> m_workingDevices;

private:
    const QEvent::Type m_doneEvent;
    bool m_bToolBarLocked = false;
    int m_filterColumn = 0;
    QString m_filterText;
};
