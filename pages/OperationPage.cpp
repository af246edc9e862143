#include "OperationPage.h"

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DeviceTasks.h"
#include "DeviceWebPage.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"
#include "ZVMessageBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMutexLocker>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

OperationPage::OperationPage(QWidget* parent, QEvent::Type doneEvent, int kind, Requester requester, bool timerPage)
    : DevicePage(parent, doneEvent)
    , m_kind(kind)
    , m_requester(requester)
{
    if (timerPage) {
        m_pTimer = new QTimer;
        connect(m_pTimer, &QTimer::timeout, this, &OperationPage::CheckWorkDeviceList);
    }
}

OperationPage::~OperationPage()
{
    delete m_pTimer;
}

CheckBoxTableView* OperationPage::CreateTableAndBottomBar(QFrame** bottom, QHBoxLayout** bottomLayout)
{
    QVBoxLayout* layout = CreatePageLayout();
    auto* view = new CheckBoxTableView(this);
    view->setObjectName(QStringLiteral("m_pDeviceTableView"));
    layout->addWidget(view);
    *bottom = new QFrame(this);
    (*bottom)->setObjectName(QStringLiteral("UpgradeFrameBottom"));
    *bottomLayout = new QHBoxLayout(*bottom);
    (*bottomLayout)->setObjectName(QStringLiteral("horizontalLayout"));
    layout->addWidget(*bottom);
    return view;
}

CheckBoxTableView* OperationPage::CreateTableAndControlFrame(QFrame** frame, QHBoxLayout** frameLayout)
{
    CheckBoxTableView* view = CreateTableAndBottomBar(frame, frameLayout);
    (*frame)->setObjectName(QStringLiteral("m_pFrameCtrl"));
    (*frame)->setFrameShape(QFrame::StyledPanel);
    (*frame)->setFrameShadow(QFrame::Raised);
    return view;
}

void OperationPage::SetupTable(CheckBoxTableView* view)
{
    m_pTableView = view;
    m_pModel = new CheckBoxTableModel(view, m_kind, 0);
    view->setModel(m_pModel->proxyModel(), 0);
    connect(view, &CheckBoxTableView::clicked, this, &OperationPage::onClickTableView);
}

void OperationPage::PrefillLogin(LineEdit* user, LineEdit* password, int maxBytes)
{
    const ZVAppSetting* settings = ZVAppSetting::Instance();
    user->setText(settings->m_defaultUser);
    password->setText(settings->m_defaultPassword);
    password->setEchoMode(QLineEdit::Password);
    if (maxBytes > 0) {
        user->SetMaxByteCount(maxBytes);
        password->SetMaxByteCount(maxBytes);
    }
}

void OperationPage::FitButtons(std::initializer_list<QPushButton*> buttons)
{
    for (QPushButton* button : buttons)
        button->setMinimumWidth(qMax(75, button->fontMetrics().horizontalAdvance(button->text()) + 16));
}

QLabel* OperationPage::AddBarLabel(QFrame* bar, QHBoxLayout* layout, const char* name, int minWidth, int maxWidth)
{
    auto* label = new QLabel(bar);
    label->setObjectName(QLatin1String(name));
    label->setMinimumSize(minWidth, 25);
    label->setMaximumSize(maxWidth, 25);
    layout->addWidget(label);
    return label;
}

LineEdit* OperationPage::AddBarEdit(QFrame* bar, QHBoxLayout* layout, const char* name, int width, bool passwordEcho)
{
    auto* edit = new LineEdit(bar);
    edit->setObjectName(QLatin1String(name));
    edit->setFixedSize(width, 25);
    if (passwordEcho)
        edit->setEchoMode(QLineEdit::Password);
    layout->addWidget(edit);
    return edit;
}

QPushButton* OperationPage::AddBarButton(QFrame* bar, QHBoxLayout* layout, const char* name, int width)
{
    auto* button = new QPushButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(width, 25);
    layout->addWidget(button);
    return button;
}

void OperationPage::SetFilterColumn(int column)
{
    DevicePage::SetFilterColumn(column);
    if (m_pModel && m_pModel->proxyModel() && column != m_pModel->filterColumn())
        m_pModel->setFilterColumn(column);
}

void OperationPage::SetFilterText(const QString& text)
{
    DevicePage::SetFilterText(text);
    if (m_pModel && m_pModel->proxyModel() && text != m_pModel->filterText())
        m_pModel->setFilterText(text);
}

void OperationPage::RefreshDeviceList()
{
    if (!m_pModel)
        return;
    m_pModel->clear();
    DeviceInfoMng* devices = DeviceInfoMng::Instance();
    // The HTTP API customers have no LAN search: their pages list the range.
    if (UsesHttpApi()) {
        devices->ResetExtranetDeviceStatus();
        m_pModel->setDevices(devices->m_extranetDevices);
        return;
    }
    devices->ResetLanDeviceStatus();
    m_pModel->setDevices(devices->m_lanDevices);
}

void OperationPage::ClearDeviceList()
{
    {
        // The devices are about to be freed: the busy poll must not read them.
        QMutexLocker locker(&m_mutex);
        m_busyDevices.clear();
    }
    if (m_pModel)
        m_pModel->clear();
}

void OperationPage::onClickTableView(const QModelIndex& index)
{
    DeviceInfo* device = m_pModel ? m_pModel->deviceAt(index) : nullptr;
    if (!device || index.column() != 1)
        return;
    OpenDeviceWebPage(device->Ip(), static_cast<quint16>(device->m_searchRsp.webPort), false);
}

void OperationPage::CheckWorkDeviceList()
{
    QList<DeviceInfo*> busy;
    {
        QMutexLocker locker(&m_mutex);
        busy = m_busyDevices;
    }
    const bool working
        = std::any_of(busy.cbegin(), busy.cend(), [this](const DeviceInfo* device) { return IsDeviceWorking(device); });
    if (working)
        return;
    OnBatchFinished();
    if (m_pTimer)
        m_pTimer->stop();
}

void OperationPage::ShowRefusal(int textId, int titleId, const QString& dialogStyleSheet)
{
    ZVMessageBox::ShowMessage(this, LanguageText(textId), LanguageText(titleId), 0, 2, dialogStyleSheet);
}

void OperationPage::ShowQuery(int textId, int titleId, const QString& dialogStyleSheet)
{
    ZVMessageBox::ShowMessage(this, LanguageText(textId), LanguageText(titleId), 1, 0, dialogStyleSheet);
}

void OperationPage::FitFixedButton(QPushButton* button, int width)
{
    button->ensurePolished();
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = QRect(0, 0, width, button->height());
    option.text = button->text();
    const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int needed = button->fontMetrics().horizontalAdvance(button->text()) + width - contents.width();
    button->setFixedWidth(qMax(width, needed));
}

void OperationPage::FitLabels(std::initializer_list<QLabel*> labels, int maxWidth)
{
    for (QLabel* label : labels) {
        label->ensurePolished();
        label->setMaximumWidth(qMax(maxWidth, label->sizeHint().width()));
    }
}

bool OperationPage::StartAction(
    int titleId, QList<DeviceInfo*>* devices, bool clearBusy, const QString& dialogStyleSheet)
{
    {
        QMutexLocker locker(&m_mutex);
        m_workingDevices.clear();
        if (clearBusy)
            m_busyDevices.clear();
    }
    devices->clear();
    if (!m_pTableView || m_pTableView->headCheckState() == 0) {
        ShowRefusal(51, titleId, dialogStyleSheet);
        return false;
    }
    m_pModel->getCheckedDevices(*devices);
    return true;
}

void OperationPage::PrepareStatusAndLogin(DeviceInfo* device, const QString& user, const QString& password)
{
    device->m_status = StatusWaiting;
    if (!(device->*m_requester))
        device->*m_requester = this;
    device->SetParams(user, password, QString(), QString(), QString(), QString(), QString(), 0, 0, 0, 0);
}

void OperationPage::QueueDevices(void (*task)(void*), const QList<DeviceInfo*>& devices)
{
    for (DeviceInfo* device : devices) {
        if (!QueueDeviceTask(task, device)) {
            device->m_status = StatusFailed;
            OnDeviceTaskFinished(device, true);
        }
    }
}

void OperationPage::SetBusyDevices(const QList<DeviceInfo*>& devices)
{
    QMutexLocker locker(&m_mutex);
    m_busyDevices = devices;
}

void OperationPage::StartBusyTimer()
{
    if (m_pTimer)
        m_pTimer->start(1000);
}

// A device counts from the click until its operation has ended, so the page
// cannot be started again mid-batch: over the HTTP API the login flag is set
// only once the JSON login has answered, and an initialise batch never logs in.
bool OperationPage::IsDeviceWorking(const DeviceInfo* device) const
{
    return device->m_bLogin.load() || device->IsBusy();
}

void OperationPage::RefreshRow(DeviceInfo* device)
{
    if (m_pModel)
        m_pModel->updateDevice(device);
}

void OperationPage::RefreshRows(const QList<DeviceInfo*>& devices)
{
    if (m_pModel)
        m_pModel->updateDevices(devices);
}
