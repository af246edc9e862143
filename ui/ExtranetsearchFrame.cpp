#include "ExtranetsearchFrame.h"

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DeviceWebPage.h"
#include "FixedText.h"
#include "HttpClient.h"
#include "JsonRead.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "SearchFrame.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVSDKWrapper.h"
#include "ZVSdkConfig.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <json/json.h>

#include <algorithm>
#include <cstring>

namespace
{
// Copies the member's text into the field, cut to its width and terminated.
template <std::size_t N> void ReadText(const Json::Value& object, const char* name, char (&field)[N])
{
    const Json::Value* value = JsonRead::Member(object, name);
    if (!value || !value->isString())
        return;
    const char* begin = nullptr;
    const char* end = nullptr;
    value->getString(&begin, &end);
    PutBytes(begin, static_cast<std::size_t>(end - begin), TextCode::Utf8, field, FieldEnd::Terminated);
}

// An integer member, stored in the width of its field.
template <typename Field> void ReadNumber(const Json::Value& object, const char* name, Field& field)
{
    const Json::Value* value = JsonRead::Member(object, name);
    if (!value || value->isBool())
        return;
    if (value->isUInt64())
        field = static_cast<Field>(value->asUInt64());
    else if (value->isInt64())
        field = static_cast<Field>(value->asInt64());
}

uint32_t NetworkModeOf(const Json::Value& object)
{
    const Json::Value* value = JsonRead::Member(object, "network mode");
    const std::string mode = value && value->isString() ? value->asString() : std::string();
    if (mode == "static")
        return ZVNET_NET_MODE_STATIC;
    if (mode == "dhcp")
        return ZVNET_NET_MODE_DHCP;
    if (mode == "pppoe")
        return ZVNET_NET_MODE_PPPOE;
    if (mode == "3g")
        return ZVNET_NET_MODE_3G;
    if (mode == "wifi")
        return ZVNET_NET_MODE_WIFI;
    return 5;
}

void CopyAddress(const QString& text, char (&field)[64])
{
    const QByteArray latin1 = text.toLatin1().left(16);
    std::memcpy(field, latin1.constData(), static_cast<std::size_t>(latin1.size()));
}
} // namespace

ExtranetsearchFrame::ExtranetsearchFrame(QWidget* parent)
    : DevicePage(parent, PageEvents::SearchFinishedEvent)
{
    BuildForm();
    m_pEditStaIP->clear();
    m_pEditEndIP->clear();
    m_pEditStaIP->setMaxLength(16);
    m_pEditEndIP->setMaxLength(16);
    FitEditToText(m_pEditStaIP, QLatin1String(kWidestAddress));
    FitEditToText(m_pEditEndIP, QLatin1String(kWidestAddress));

    m_pModel = new CheckBoxTableModel(m_pDeviceTableView, TableKindExtranetSearch, 0);
    m_pDeviceTableView->setModel(m_pModel->proxyModel(), 0, 2);
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 90);
    for (int column : { 3, 4, 5 })
        m_pDeviceTableView->setColumnWidth(column, 155);
    m_pDeviceTableView->setColumnWidth(6, 145);
    for (int column = 7; column <= 11; ++column)
        m_pDeviceTableView->setColumnWidth(column, 120);

    connect(m_pDeviceTableView, &CheckBoxTableView::clicked, this, &ExtranetsearchFrame::onClickTableView);
    connect(m_pBtnQuery, &QPushButton::clicked, this, &ExtranetsearchFrame::SearchExtranetDevice);
    connect(&m_timer, &QTimer::timeout, this, &ExtranetsearchFrame::OnRefreshTimeOut);
    connect(&m_rangeSearch, &RangeSearch::ProgressChanged, this, [this](int done, int total) {
        m_pProgress->setMaximum(std::max(total, 1));
        m_pProgress->setValue(done);
    });
    connect(&m_rangeSearch, &RangeSearch::Finished, this, &ExtranetsearchFrame::OnRangeFinished);
    RetranslateTexts();
}

ExtranetsearchFrame::~ExtranetsearchFrame()
{
    // After this no callback of the search reaches the page.
    m_rangeSearch.Stop();
    if (!m_bFoundListed)
        qDeleteAll(m_foundDevices);
}

void ExtranetsearchFrame::BuildForm()
{
    setObjectName(QStringLiteral("ExtranetsearchFrame"));
    resize(826, 404);
    QVBoxLayout* layout = CreatePageLayout();
    m_pLine = new QFrame(this);
    m_pLine->setObjectName(QStringLiteral("line"));
    m_pLine->setFrameShape(QFrame::HLine);
    m_pLine->setFrameShadow(QFrame::Sunken);
    layout->addWidget(m_pLine);

    m_pInputIPFrame = new QFrame(this);
    m_pInputIPFrame->setObjectName(QStringLiteral("m_pInputIPFrame"));
    auto* input = new QHBoxLayout(m_pInputIPFrame);
    input->setObjectName(QStringLiteral("horizontalLayout"));
    auto label = [this](const char* name) {
        auto* widget = new QLabel(m_pInputIPFrame);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumSize(60, 25);
        widget->setMaximumSize(120, 25);
        return widget;
    };
    auto edit = [this](const char* name) {
        auto* widget = new QLineEdit(m_pInputIPFrame);
        widget->setObjectName(QLatin1String(name));
        widget->setFixedSize(100, 25);
        return widget;
    };
    m_pLabelStaIP = label("m_pLabelStaIP");
    m_pEditStaIP = edit("m_pEditStaIP");
    m_pLabelEndIP = label("m_pLabelEndIP");
    m_pEditEndIP = edit("m_pEditEndIP");
    m_pProgress = new QProgressBar(m_pInputIPFrame);
    m_pProgress->setObjectName(QStringLiteral("m_pProgress"));
    m_pProgress->setFixedSize(200, 25);
    m_pProgress->setFormat(QStringLiteral("%v / %m"));
    m_pProgress->hide();
    m_pBtnQuery = new QPushButton(m_pInputIPFrame);
    m_pBtnQuery->setObjectName(QStringLiteral("m_pBtnQuery"));
    m_pBtnQuery->setFixedSize(75, 25);
    input->addWidget(m_pLabelStaIP);
    input->addWidget(m_pEditStaIP);
    input->addWidget(m_pLabelEndIP);
    input->addWidget(m_pEditEndIP);
    input->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    input->addWidget(m_pProgress);
    input->addWidget(m_pBtnQuery);
    layout->addWidget(m_pInputIPFrame);

    m_pDeviceTableView = new CheckBoxTableView(this);
    m_pDeviceTableView->setObjectName(QStringLiteral("m_pDeviceTableView"));
    layout->addWidget(m_pDeviceTableView);
}

void ExtranetsearchFrame::RetranslateTexts()
{
    ZVAppSetting::Instance()->AddLanguageListener(this);
    m_pLabelStaIP->setText(LanguageText(45));
    m_pLabelEndIP->setText(LanguageText(160));
    m_pBtnQuery->setText(LanguageText(10));
}

void ExtranetsearchFrame::SearchExtranetDevice()
{
    // One search at a time: the button is locked meanwhile.
    if (m_rangeSearch.IsRunning())
        return;
    if (m_pToolBarFrame) {
        m_pToolBarFrame->HoldLock(this, true);
        m_pToolBarFrame->SetControlsEnabled(false);
    }
    m_pBtnQuery->setEnabled(false);
    m_pModel->clear();
    {
        QMutexLocker locker(&m_mutex);
        if (!m_bFoundListed)
            qDeleteAll(m_foundDevices);
        m_foundDevices.clear();
        m_bFoundListed = false;
    }
    // No page may keep the devices about to be freed in its table meanwhile.
    if (UsesHttpApi())
        ClearDeviceLists(m_pages);
    DeviceInfoMng::Instance()->ReplaceExtranetDevices(QList<DeviceInfo*>());

    quint32 first = 0;
    quint32 last = 0;
    if (!RangeSearch::ParseRange(m_pEditStaIP->text(), m_pEditEndIP->text(), &first, &last)) {
        // No range, nothing to ask: the search ends at once, with nothing found.
        OnRangeFinished();
    } else {
        const ZVAppSetting* settings = ZVAppSetting::Instance();
        RangeSearch::Limits limits;
        limits.concurrency = settings->m_rangeSearchConcurrency;
        limits.timeoutMs = settings->m_rangeSearchTimeoutMs;
        const bool json = UsesHttpApi();
        // The SDK and the wrapper ask each block's addresses with the page's bounds.
        ZVSdkSetRangeLimits(limits.concurrency, limits.timeoutMs);
        m_pProgress->setValue(0);
        m_pProgress->show();
        m_rangeSearch.Start(
            first, last, limits,
            [this, json](
                const QString& start, const QString& stop, void* run) { return StartBlock(json, start, stop, run); },
            [](void* run) { ZVSdkStopSearch(run); }, [this](const SearchDevRsp* record) { OnSearchResult(record); });
    }
    m_timer.start(1000);
}

bool ExtranetsearchFrame::StartBlock(bool json, const QString& start, const QString& stop, void* run)
{
    if (json) {
        const std::string request = JsonSearchRequest(start, stop);
        return zv_search_device(request.c_str(), &ExtranetsearchFrame::JsonSearchCallback, run) != 0;
    }
    ZVNetP2PSearchParam param;
    std::memset(&param, 0, sizeof(param));
    param.callback = &ExtranetsearchFrame::SearchCallback;
    param.user = run;
    param.mode = ZVNET_SEARCH_MODE_RANGE;
    CopyAddress(start, param.startIp);
    CopyAddress(stop, param.stopIp);
    return ZVNetSearchDevPoint2Point(&param) != 0;
}

std::string ExtranetsearchFrame::JsonSearchRequest(const QString& start, const QString& stop)
{
    Json::Value request(Json::objectValue);
    request["oem type"] = "K38";
    request["start ip"] = start.toLatin1().toStdString();
    request["stop ip"] = stop.toLatin1().toStdString();
    return Json::writeString(Json::StreamWriterBuilder(), request);
}

int ExtranetsearchFrame::SearchCallback(const SearchDevRsp* record, void* user)
{
    if (!user)
        return 0;
    return SearchRuns::Deliver(user, record) ? 1 : 0;
}

void ExtranetsearchFrame::JsonSearchCallback(const char* json, void* user)
{
    if (!user)
        return;
    if (!json) {
        SearchRuns::Deliver(user, nullptr);
        return;
    }
    Json::CharReaderBuilder builder;
    Json::Value device;
    std::string errors;
    if (!ParseJsonText(builder, json, device, errors) || !device.isObject()) {
        // A reply that does not parse ends the search with what it found.
        SearchRuns::Deliver(user, nullptr);
        return;
    }
    SearchDevRsp record;
    RecordFromJson(device, &record);
    SearchRuns::Deliver(user, &record);
}

void ExtranetsearchFrame::RecordFromJson(const Json::Value& device, SearchDevRsp* record)
{
    std::memset(record, 0, sizeof(*record));
    if (!device.isObject())
        return;
    ReadNumber(device, "channel number", record->channelNumber);
    ReadNumber(device, "device id", record->deviceId);
    ReadText(device, "device name", record->deviceName);
    ReadText(device, "device type", record->deviceType);
    uint64_t typeCode = 0;
    ReadNumber(device, "device type ull", typeCode);
    record->deviceTypeCode = typeCode;
    ReadText(device, "device version", record->deviceVersion);
    ReadText(device, "dns1", record->dns1);
    ReadText(device, "dns2", record->dns2);
    ReadText(device, "gateway", record->gateway);
    ReadText(device, "host name", record->hostName);
    ReadNumber(device, "input pin count", record->inputPinCount);
    ReadText(device, "ip", record->ip);
    ReadNumber(device, "is first login", record->isFirstLogin);
    ReadText(device, "mac addr", record->mac);
    ReadText(device, "manufacture", record->manufacture);
    ReadNumber(device, "media port", record->mediaPort);
    ReadNumber(device, "net interface", record->netInterface);
    ReadText(device, "netmask", record->netmask);
    record->networkMode = NetworkModeOf(device);
    ReadNumber(device, "output pin count", record->outputPinCount);
    ReadText(device, "p2p id", record->p2pId);
    uint16_t rtspPort = 0;
    ReadNumber(device, "rtsp port", rtspPort);
    record->rtspPort = rtspPort;
    ReadNumber(device, "support two way talk", record->supportTwoWayTalk);
    ReadNumber(device, "version", record->version);
    ReadNumber(device, "web port", record->webPort);
}

void ExtranetsearchFrame::OnSearchResult(const SearchDevRsp* record)
{
    auto* device = new DeviceInfo;
    device->InitFromSearchRsp(record, false);
    device->moveToThread(QCoreApplication::instance()->thread());
    QMutexLocker locker(&m_mutex);
    m_foundDevices.append(device);
}

void ExtranetsearchFrame::OnRangeFinished()
{
    {
        QMutexLocker locker(&m_mutex);
        std::stable_sort(m_foundDevices.begin(), m_foundDevices.end(), &LessThanByIp);
        DeviceInfoMng::Instance()->SetExtranetDevices(m_foundDevices);
        m_bFoundListed = true;
        m_pModel->setDevices(m_foundDevices);
    }
    if (UsesHttpApi())
        RefreshDeviceLists(m_pages);
    QCoreApplication::postEvent(this, new QEvent(PageEvents::SearchFinishedEvent));
}

void ExtranetsearchFrame::customEvent(QEvent* event)
{
    if (event->type() == PageEvents::SearchFinishedEvent) {
        if (m_rangeSearch.IsRunning())
            return;
        // Another page's batch keeps the bar locked until it ends itself.
        if (m_pToolBarFrame) {
            m_pToolBarFrame->HoldLock(this, false);
            if (!m_pToolBarFrame->IsLockedByOther(this))
                m_pToolBarFrame->SetControlsEnabled(true);
        }
        m_pBtnQuery->setEnabled(true);
        m_pProgress->hide();
        return;
    }
    if (event->type() == LanguageChangedEvent::EventType)
        RetranslateTexts();
}

void ExtranetsearchFrame::OnRefreshTimeOut()
{
    m_timer.stop();
}

void ExtranetsearchFrame::onClickTableView(const QModelIndex& index)
{
    DeviceInfo* device = m_pModel->deviceAt(index);
    if (index.column() != 1 || !device)
        return;
    OpenDeviceWebPage(
        device->Ip(), static_cast<quint16>(device->m_searchRsp.webPort), device->m_httpsCheckState == Qt::Checked);
}

void ExtranetsearchFrame::SetFilterColumn(int column)
{
    DevicePage::SetFilterColumn(column);
    if (m_pModel && column != m_pModel->filterColumn())
        m_pModel->setFilterColumn(column);
}

void ExtranetsearchFrame::SetFilterText(const QString& text)
{
    DevicePage::SetFilterText(text);
    if (m_pModel && text != m_pModel->filterText())
        m_pModel->setFilterText(text);
}

void ExtranetsearchFrame::OnDeviceTaskFinished(DeviceInfo* device, bool finished)
{
    if (!OnPageThread([this, device, finished] { OnDeviceTaskFinished(device, finished); }))
        return;
    bool emptied = false;
    if (finished) {
        QMutexLocker locker(&m_mutex);
        emptied = m_foundDevices.removeOne(device) && m_foundDevices.isEmpty();
    }
    RefreshRow(device);
    if (emptied)
        QCoreApplication::postEvent(this, new QEvent(PageEvents::SearchFinishedEvent));
}

void ExtranetsearchFrame::RefreshRow(DeviceInfo* device)
{
    m_pModel->updateDevice(device);
}
