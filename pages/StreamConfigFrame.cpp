#include "StreamConfigFrame.h"

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceTasks.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

StreamConfigFrame::StreamConfigFrame(QWidget* parent)
    : OperationPage(
        parent, PageEvents::WorkFinishedEvent, TableKindStreamConfig, &DeviceInfo::m_pStreamConfigFrame, true)
{
    BuildForm();
    PrefillLogin(m_pEditUserName, m_pEditPassword, 16);
    SetupTable(m_pDeviceTableView);
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(3, Company() == 45 ? 165 : 135);
    m_pDeviceTableView->setColumnWidth(4, 135);
    m_pDeviceTableView->setColumnWidth(5, 125);
    m_pDeviceTableView->setColumnWidth(6, 145);
    for (int column = 7; column <= 11 && column < m_pModel->columnCount(); ++column)
        m_pDeviceTableView->setColumnWidth(column, 120);

    connect(m_pBtnQuery, &QPushButton::clicked, this, &StreamConfigFrame::OnClickQuery);
    connect(m_pBtnSet, &QPushButton::clicked, this, &StreamConfigFrame::OnClickSet);
    // The set-time button is bound by name.
    QMetaObject::connectSlotsByName(this);
    RetranslateTexts();
}

void StreamConfigFrame::BuildForm()
{
    setObjectName(QStringLiteral("StreamConfigFrame"));
    resize(826, 448);
    m_pDeviceTableView = CreateTableAndBottomBar(&m_pBottom, &m_pBottomLayout);

    auto label = [this](const char* name, int minimumWidth, Qt::Alignment alignment) {
        auto* widget = new QLabel(m_pBottom);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumSize(minimumWidth, 25);
        widget->setMaximumSize(120, 25);
        widget->setAlignment(alignment);
        m_pBottomLayout->addWidget(widget);
        return widget;
    };
    auto edit = [this](const char* name) {
        auto* widget = new LineEdit(m_pBottom);
        widget->setObjectName(QLatin1String(name));
        widget->setFixedSize(100, 25);
        m_pBottomLayout->addWidget(widget);
        return widget;
    };
    auto button = [this](const char* name) {
        auto* widget = new QPushButton(m_pBottom);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumSize(72, 25);
        m_pBottomLayout->addWidget(widget);
        return widget;
    };
    m_pLabUserName = label("m_pLabUserName", 60, Qt::AlignCenter);
    m_pEditUserName = edit("m_pEditUserName");
    m_pBottomLayout->addItem(new QSpacerItem(1, 20, QSizePolicy::Maximum, QSizePolicy::Minimum));
    m_pLabPassword = label("m_pLabPassword", 20, Qt::AlignRight | Qt::AlignVCenter);
    m_pEditPassword = edit("m_pEditPassword");
    m_pBottomLayout->addItem(new QSpacerItem(481, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pStreamComBox = new QComboBox(m_pBottom);
    m_pStreamComBox->setObjectName(QStringLiteral("m_pStreamComBox"));
    m_pStreamComBox->setMinimumSize(135, 25);
    m_pBottomLayout->addWidget(m_pStreamComBox);
    const int streams = UsesHttpApi() ? 3 : 2;
    for (int stream = 0; stream < streams; ++stream)
        m_pStreamComBox->addItem(QString(), stream);
    m_pBtnQuery = button("m_pBtnQuery");
    m_pBtnSet = button("m_pBtnSet");
    m_pBtnSetTime = button("m_pBtnSetTime");
}

void StreamConfigFrame::RetranslateTexts()
{
    m_pLabUserName->setText(LanguageText(12));
    m_pLabPassword->setText(LanguageText(13));
    for (int item = 0; item < m_pStreamComBox->count(); ++item)
        m_pStreamComBox->setItemText(item, LanguageText(172 + item));
    m_pBtnQuery->setText(LanguageText(139));
    m_pBtnSet->setText(LanguageText(64));
    m_pBtnSetTime->setText(LanguageText(179));
    FitButtons({ m_pBtnQuery, m_pBtnSet, m_pBtnSetTime });
    // The login labels never shrink below their texts, longer in some languages.
    FitLabels({ m_pLabUserName, m_pLabPassword }, 120);
    for (const auto& fit : { qMakePair(m_pLabUserName, 60), qMakePair(m_pLabPassword, 20) })
        fit.first->setMinimumWidth(qMax(fit.second, fit.first->sizeHint().width()));
}

void StreamConfigFrame::SetActionsEnabled(bool enabled)
{
    for (QPushButton* widget : { m_pBtnSet, m_pBtnQuery, m_pBtnSetTime })
        widget->setEnabled(enabled);
}

void StreamConfigFrame::SetFilterColumn(int column)
{
    // Code 34's tables have the status column second: the later columns shift.
    if (Company() == 34 && column > 1)
        ++column;
    OperationPage::SetFilterColumn(column);
}

void StreamConfigFrame::RefreshDeviceList()
{
    // The devices of the last search are gone, and with them their queries.
    m_queriedValues.clear();
    OperationPage::RefreshDeviceList();
}

void StreamConfigFrame::ClearDeviceList()
{
    m_queriedValues.clear();
    OperationPage::ClearDeviceList();
}

void StreamConfigFrame::WarnMultiChannel(DeviceInfo* device)
{
    if (device->ChannelCount() != 1)
        ZVMessageBox::ShowMessage(this, device->Ip() + QStringLiteral(" not suppose!"), LanguageText(6), 0, 2);
}

template <typename Setters>
void StreamConfigFrame::RunBatch(const QList<DeviceInfo*>& devices, void (*task)(void*), Setters setters)
{
    SetBusyDevices(devices);
    BeginBatch(devices, true);
    PrepareDevices(devices, m_pEditUserName->text(), m_pEditPassword->text(), setters);
    QueueDevices(task, devices);
    StartBusyTimer();
}

void StreamConfigFrame::OnClickQuery()
{
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices, true))
        return;
    for (DeviceInfo* device : devices)
        WarnMultiChannel(device);
    const QString user = m_pEditUserName->text();
    const QString password = m_pEditPassword->text();
    const int stream = m_pStreamComBox->currentIndex();
    RunBatch(devices, &QueryStreamTask, [&](DeviceInfo* device) {
        device->SetParams(user, password, QString(), QString(), QString(), QString(), QString(), stream, 0, 0, 0);
    });
}

bool StreamConfigFrame::TakeHeldValues(const QList<DeviceInfo*>& devices)
{
    const int stream = m_pStreamComBox->currentIndex();
    bool usable;
    if (UsesHttpApi()) {
        usable = m_bHeldFromQuery && m_heldStreamIndex == stream && !m_heldFpsText.isEmpty()
            && !m_heldEncodeTypeText.isEmpty() && m_heldBitrateMode >= 0;
    } else {
        // The first ticked device's last query, when it succeeded on this
        // stream: a device never queried would get empty settings written.
        const auto found = m_queriedValues.constFind(devices.constFirst());
        usable = found != m_queriedValues.constEnd() && found->streamIndex == stream;
        if (usable) {
            m_heldFpsText = found->fpsText;
            m_heldEncodeTypeText = found->encodeTypeText;
            m_heldResolutionText = found->resolutionText;
            m_heldBitrateIndex = found->bitrateIndex;
            m_heldCustomBitrate = found->customBitrate;
            m_heldBitrateMode = found->bitrateMode;
        }
    }
    if (!usable)
        ShowRefusal(193, 6);
    return usable;
}

void StreamConfigFrame::OnClickSet()
{
    const QDateTime now = QDateTime::currentDateTime();
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices, true) || !TakeHeldValues(devices))
        return;
    const QString user = m_pEditUserName->text();
    const QString password = m_pEditPassword->text();
    const int stream = m_pStreamComBox->currentIndex();
    const bool http = UsesHttpApi();
    RunBatch(devices, &SetStreamTask, [&](DeviceInfo* device) {
        WarnMultiChannel(device);
        device->m_dateTime = now;
        device->SetParams(user, password, QString(), QString(), m_heldFpsText, m_heldEncodeTypeText,
            m_heldResolutionText, stream, m_heldBitrateIndex, m_heldCustomBitrate, m_heldBitrateMode);
        // The sub and mobile streams send the mode as its text: the queried
        // one, not what each device was last asked.
        if (http)
            device->m_bitrateModeText = m_heldBitrateModeText;
    });
}

void StreamConfigFrame::on_m_pBtnSetTime_clicked()
{
    const QDateTime now = QDateTime::currentDateTime();
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices, true))
        return;
    const QString user = m_pEditUserName->text();
    const QString password = m_pEditPassword->text();
    const int stream = m_pStreamComBox->currentIndex();
    RunBatch(devices, &SetTimeTask, [&](DeviceInfo* device) {
        device->SetParams(user, password, QString(), QString(), QString(), QString(), QString(), stream, 0, 0, 0);
        device->SetDateTime(now);
    });
}

void StreamConfigFrame::OnDeviceTaskFinished(DeviceInfo* device, bool finished)
{
    if (!OnPageThread([this, device, finished] { OnDeviceTaskFinished(device, finished); }))
        return;
    NoteStreamValues(device);
    OperationPage::OnDeviceTaskFinished(device, finished);
}

void StreamConfigFrame::NoteStreamValues(DeviceInfo* device)
{
    const int status = device->m_status;
    if (UsesHttpApi()) {
        // Every report is copied; the last to report gives the held values.
        m_heldStreamIndex = device->m_streamIndex;
        m_heldFpsText = device->m_fpsText;
        m_heldEncodeTypeText = device->m_encodeTypeText;
        m_heldResolutionText = device->m_resolutionText;
        m_heldCustomBitrate = device->m_customBitrate;
        m_heldBitrateMode = device->m_bitrateMode;
        m_heldBitrateModeText = device->m_bitrateModeText;
        if (status == StatusQueryOk)
            m_bHeldFromQuery = true;
        else if (status == StatusQueryFailed)
            m_bHeldFromQuery = false;
        return;
    }
    if (status == StatusQueryOk) {
        m_queriedValues.insert(device,
            { device->m_streamIndex, device->m_fpsText, device->m_encodeTypeText, device->m_resolutionText,
                device->m_bitrateIndex, device->m_customBitrate, device->m_bitrateMode, QString() });
    } else if (status == StatusQueryFailed) {
        m_queriedValues.remove(device);
    }
}
