#include "DevicePage.h"

#include "LanguageTexts.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMutexLocker>
#include <QVBoxLayout>

DevicePage::DevicePage(QWidget* parent, QEvent::Type doneEvent)
    : QFrame(parent)
    , m_doneEvent(doneEvent)
{
    ZVAppSetting::Instance()->AddLanguageListener(this);
}

DevicePage::~DevicePage()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

QVBoxLayout* DevicePage::CreatePageLayout()
{
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

void DevicePage::RefuseNetworkInput(const NetworkInputFault& fault, const NetworkField& address,
    const NetworkField& netmask, const NetworkField& gateway, const QString& dialogStyleSheet)
{
    const NetworkField& field = fault.field == NetworkInputFault::Address ? address
        : fault.field == NetworkInputFault::Netmask                       ? netmask
                                                                          : gateway;
    const int reason = fault.reason == NetworkInputFault::NotAnAddress ? 238
        : fault.reason == NetworkInputFault::NotAMask                  ? 239
                                                                       : 240;
    const QString text = QStringLiteral("%1: %2").arg(field.label->text(), LanguageText(reason));
    ZVMessageBox::ShowMessage(this, text, LanguageText(110), 0, 2, dialogStyleSheet);
    field.edit->setFocus(Qt::OtherFocusReason);
}

void DevicePage::SetFilterColumn(int column)
{
    m_filterColumn = column;
}

void DevicePage::SetFilterText(const QString& text)
{
    m_filterText = text;
}

void DevicePage::RefreshDeviceList()
{
}

void DevicePage::ClearDeviceList()
{
    RefreshDeviceList();
}

void DevicePage::RefreshDeviceLists(const QList<DevicePage*>& pages)
{
    for (DevicePage* page : pages) {
        if (page)
            page->RefreshDeviceList();
    }
}

void DevicePage::ClearDeviceLists(const QList<DevicePage*>& pages)
{
    for (DevicePage* page : pages) {
        if (page)
            page->ClearDeviceList();
    }
}

bool DevicePage::IsBatchRunning() const
{
    QMutexLocker locker(&m_mutex);
    return !m_workingDevices.isEmpty();
}

void DevicePage::BeginBatch(const QList<DeviceInfo*>& devices, bool lockToolBar)
{
    {
        QMutexLocker locker(&m_mutex);
        m_workingDevices = devices;
    }
    SetActionsEnabled(false);
    m_bToolBarLocked = lockToolBar && m_pToolBarFrame;
    if (m_bToolBarLocked) {
        m_pToolBarFrame->HoldLock(this, true);
        m_pToolBarFrame->SetControlsEnabled(false);
    }
}

void DevicePage::SetWorkingDevices(const QList<DeviceInfo*>& devices)
{
    QMutexLocker locker(&m_mutex);
    m_workingDevices = devices;
}

void DevicePage::OnDeviceTaskFinished(DeviceInfo* device, bool finished)
{
    // A report from another thread takes effect on the page's own thread.
    if (!OnPageThread([this, device, finished] { OnDeviceTaskFinished(device, finished); }))
        return;
    bool emptied = false;
    if (finished) {
        QMutexLocker locker(&m_mutex);
        emptied = m_workingDevices.removeOne(device) && m_workingDevices.isEmpty();
    }
    RefreshRow(device);
    if (emptied)
        QCoreApplication::postEvent(this, new QEvent(m_doneEvent));
}

void DevicePage::SetActionsEnabled(bool)
{
}

void DevicePage::RefreshRow(DeviceInfo*)
{
}

void DevicePage::RetranslateTexts()
{
}

void DevicePage::OnBatchFinished()
{
    SetActionsEnabled(true);
    if (m_bToolBarLocked && m_pToolBarFrame) {
        m_pToolBarFrame->HoldLock(this, false);
        if (!m_pToolBarFrame->IsLockedByOther(this))
            m_pToolBarFrame->SetControlsEnabled(true);
    }
    m_bToolBarLocked = false;
}

void DevicePage::customEvent(QEvent* event)
{
    if (event->type() == m_doneEvent)
        OnBatchFinished();
    else if (event->type() == LanguageChangedEvent::EventType)
        RetranslateTexts();
}
