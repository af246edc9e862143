#include "SearchFrame.h"

#include "BatchAddresses.h"
#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceEvents.h"
#include "DeviceInfo.h"
#include "DeviceInfoMng.h"
#include "DeviceTasks.h"
#include "DeviceWebPage.h"
#include "FixedText.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "SearchRuns.h"
#include "TableViewSortProxy.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVOnvif.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMutexLocker>
#include <QPushButton>
#include <QResizeEvent>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace
{
// The width of the panel's fixed edits and of the net-mode box.
constexpr int kNetModeWidth = 100;

// Gives the box the fixed width (or more, where an item's text needs more)
// at which each item shows whole beside the drop-down arrow.
void FitComboToItems(QComboBox* combo, int width)
{
    combo->ensurePolished();
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i)
        widest = qMax(widest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.rect = QRect(0, 0, width, combo->height());
    option.editable = combo->isEditable();
    option.subControls = QStyle::SC_All;
    const QRect field
        = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    combo->setFixedWidth(qMax(width, widest + width - field.width()));
}

constexpr int kGridBelowWidth = 1420;
enum LayoutMode
{
    LayoutRow = 0,
    LayoutGrid = 1,
    LayoutNone = 2,
};

// The end of a search, posted by the SDK's thread; the number tells a search
// that was given up from the one running.
class SearchEndEvent : public QEvent
{
public:
    explicit SearchEndEvent(quint64 searchNumber)
        : QEvent(PageEvents::SearchFinishedEvent)
        , number(searchNumber)
    {
    }
    quint64 number;
};

uint8_t SearchFamily(CompanyCode code)
{
    switch (code) {
    case 24: return 1;
    case 8: return 2;
    case 1: return 3;
    case 9:
    case 21: return 4;
    case 11: return 6;
    case 20:
    case 39:
    case 42: return 7;
    case 28: return 8;
    default: return 0;
    }
}

quint16 PortOf(const LineEdit* edit)
{
    return edit->text().toUShort();
}

QString PortText(quint32 port)
{
    return port == 0 ? QString() : QString::number(port);
}

template <typename Layout> void TakeWidgets(Layout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0))
        delete item;
}
} // namespace

bool LessThanByIp(const DeviceInfo* a, const DeviceInfo* b)
{
    // One strict weak order over every text, so that sorting stays defined
    // whatever a device reports as its address.
    return TableViewSortProxy::LessThanValues(QVariant(a->Ip()), QVariant(b->Ip()));
}

SearchFrame::SearchFrame(QWidget* parent)
    : DevicePage(parent, PageEvents::SearchWorkFinishedEvent)
{
    BuildForm();
    InitTables();
    m_pUserRowLayout = new QHBoxLayout;
    m_pDeviceRowLayout = new QHBoxLayout;
    m_pUserGridLayout = new QGridLayout;
    m_pDeviceGridLayout = new QGridLayout;
    auto* userLayout = new QVBoxLayout(m_pGroupUserInfo);
    userLayout->addLayout(m_pUserRowLayout);
    userLayout->addLayout(m_pUserGridLayout);
    auto* deviceLayout = new QVBoxLayout(m_pGroupDevInfo);
    deviceLayout->addLayout(m_pDeviceRowLayout);
    deviceLayout->addLayout(m_pDeviceGridLayout);

    for (CheckBoxTableView* view : { m_pNormalView, m_pOnvifView }) {
        connect(view, &CheckBoxTableView::clicked, this, &SearchFrame::onClickTableView);
        connect(view, &CheckBoxTableView::headCheckChanged, this, &SearchFrame::onHeadCheckChanged);
        connect(view, &CheckBoxTableView::doubleClicked, this, &SearchFrame::OnDoubleClickTableView);
    }
    connect(m_pBtnModify, &QPushButton::clicked, this, &SearchFrame::OnBtnModifyClicked);
    connect(m_pComNetMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &SearchFrame::OnNetModeChanged);
    m_pTimer.setParent(this);
    m_pTimer.setObjectName(QStringLiteral("m_pTimer"));
    connect(&m_pTimer, &QTimer::timeout, this, &SearchFrame::OnRefreshTimeOut);
    QMetaObject::connectSlotsByName(this);
    RetranslateTexts();
}

SearchFrame::~SearchFrame()
{
    if (m_onvifSearchHandle != 0)
        ZVOnvifSearchDevStop(&m_onvifSearchHandle);
    m_onvifSearchHandle = 0;
    // After this no callback of the search reaches the page.
    SearchRuns::Close(m_searchRun);
    m_searchRun = nullptr;
    DropSearchResults();
}

void SearchFrame::BuildForm()
{
    setObjectName(QStringLiteral("SearchFrame"));
    resize(826, 448);
    m_pHBoxLayout = new QVBoxLayout(this);
    m_pHBoxLayout->setObjectName(QStringLiteral("m_pHBoxLayout"));
    m_pHBoxLayout->setContentsMargins(0, 0, 0, 0);

    m_pStackedWidget = new QStackedWidget(this);
    m_pStackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    auto addViewPage = [this](const char* page, const char* layout, const char* view) {
        auto* widget = new QWidget(m_pStackedWidget);
        widget->setObjectName(QLatin1String(page));
        auto* pageLayout = new QHBoxLayout(widget);
        pageLayout->setObjectName(QLatin1String(layout));
        pageLayout->setSpacing(0);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        auto* tableView = new CheckBoxTableView(widget);
        tableView->setObjectName(QLatin1String(view));
        pageLayout->addWidget(tableView);
        m_pStackedWidget->addWidget(widget);
        return tableView;
    };
    m_pNormalView = addViewPage("page", "horizontalLayout", "m_pNormalView");
    m_pOnvifView = addViewPage("page_2", "horizontalLayout_2", "m_pOnvifView");
    m_pHBoxLayout->addWidget(m_pStackedWidget);

    m_pBottom = new QFrame(this);
    m_pBottom->setObjectName(QStringLiteral("SearchFrameBottom"));
    auto* bottomLayout = new QHBoxLayout(m_pBottom);
    bottomLayout->setObjectName(QStringLiteral("horizontalLayout_3"));

    auto label = [](QWidget* parent, const char* name) {
        auto* widget = new QLabel(parent);
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    auto edit = [](QWidget* parent, const char* name, int width) {
        auto* widget = new LineEdit(parent);
        widget->setObjectName(QLatin1String(name));
        widget->setFixedSize(width, 25);
        return widget;
    };
    m_pGroupUserInfo = new QGroupBox(m_pBottom);
    m_pGroupUserInfo->setObjectName(QStringLiteral("m_pGroupUserInfo"));
    m_pLabelUserName = label(m_pGroupUserInfo, "m_pLabelUserName");
    m_pEditUserName = edit(m_pGroupUserInfo, "m_pEditUserName", 60);
    m_pLabelPassword = label(m_pGroupUserInfo, "m_pLabelPassword");
    m_pEditPassword = edit(m_pGroupUserInfo, "m_pEditPassword", 60);
    m_pEditPassword->setEchoMode(QLineEdit::Password);

    m_pGroupDevInfo = new QGroupBox(m_pBottom);
    m_pGroupDevInfo->setObjectName(QStringLiteral("m_pGroupDevInfo"));
    m_pComNetMode = new QComboBox(m_pGroupDevInfo);
    m_pComNetMode->setObjectName(QStringLiteral("m_pComNetMode"));
    m_pLabelNetWorkMode = label(m_pGroupDevInfo, "m_pLabelNetWorkMode");
    m_pLableIP = label(m_pGroupDevInfo, "m_pLableIP");
    m_pEditIP = edit(m_pGroupDevInfo, "m_pEditIP", 100);
    m_pLabelMediaPort = label(m_pGroupDevInfo, "m_pLabelMediaPort");
    m_pEditPort = edit(m_pGroupDevInfo, "m_pEditPort", 80);
    m_pLabelWebPort = label(m_pGroupDevInfo, "m_pLabelWebPort");
    m_pEditWebPort = edit(m_pGroupDevInfo, "m_pEditWebPort", 70);
    m_pLabelGateway = label(m_pGroupDevInfo, "m_pLabelGateway");
    m_pEditGateway = edit(m_pGroupDevInfo, "m_pEditGateway", 70);
    m_pLabelNetMask = label(m_pGroupDevInfo, "m_pLabelNetMask");
    m_pEditNetMask = edit(m_pGroupDevInfo, "m_pEditNetMask", 70);
    m_pLabelDNS1 = label(m_pGroupDevInfo, "m_pLabelDNS1");
    m_pLabelDNS2 = label(m_pGroupDevInfo, "m_pLabelDNS2");
    m_pEditDNS1 = edit(m_pGroupDevInfo, "m_pEditDNS1", 70);
    m_pEditDNS2 = edit(m_pGroupDevInfo, "m_pEditDNS2", 70);
    m_pLabelDNS1->setText(QStringLiteral("DNS1"));
    m_pLabelDNS2->setText(QStringLiteral("DNS2"));

    auto* buttons = new QVBoxLayout;
    buttons->setObjectName(QStringLiteral("verticalLayout"));
    m_pBtnQuery = new QPushButton(m_pBottom);
    m_pBtnQuery->setObjectName(QStringLiteral("m_pBtnQuery"));
    m_pBtnModify = new QPushButton(m_pBottom);
    m_pBtnModify->setObjectName(QStringLiteral("m_pBtnModify"));
    for (QPushButton* button : { m_pBtnQuery, m_pBtnModify }) {
        button->setMinimumSize(72, 25);
        buttons->addWidget(button);
    }
    bottomLayout->addWidget(m_pGroupUserInfo);
    bottomLayout->addWidget(m_pGroupDevInfo);
    bottomLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    bottomLayout->addLayout(buttons);
    bottomLayout->setStretch(2, 1);
    m_pHBoxLayout->addWidget(m_pBottom);
}

void SearchFrame::InitTables()
{
    const ZVAppSetting* settings = ZVAppSetting::Instance();
    const CompanyCode code = Company();
    m_pEditUserName->setText(settings->m_defaultUser);
    m_pEditPassword->setText(settings->m_defaultPassword);
    m_pEditUserName->SetMaxByteCount(16);
    m_pEditPassword->SetMaxByteCount(16);
    // Some customers' default password is longer than the edit is wide.
    FitEditToText(m_pEditUserName, m_pEditUserName->displayText());
    FitEditToText(m_pEditPassword, m_pEditPassword->displayText());

    if (code != 31) {
        for (QWidget* widget : { static_cast<QWidget*>(m_pLabelDNS1), static_cast<QWidget*>(m_pLabelDNS2),
                 static_cast<QWidget*>(m_pEditDNS1), static_cast<QWidget*>(m_pEditDNS2) })
            widget->hide();
        for (QWidget* widget : { static_cast<QWidget*>(m_pEditPort), static_cast<QWidget*>(m_pEditWebPort),
                 static_cast<QWidget*>(m_pEditNetMask), static_cast<QWidget*>(m_pComNetMode) })
            widget->setFixedWidth(kNetModeWidth);
    }

    const bool httpsColumn = code == 20 || code == 42;
    m_pModel = new CheckBoxTableModel(m_pNormalView, TableKindSearch, 0);
    if (httpsColumn)
        m_pNormalView->setModel(m_pModel->proxyModel(), 0, 2);
    else
        m_pNormalView->setModel(m_pModel->proxyModel(), 0);
    const QList<QPair<int, int>> widths = { { 0, 80 }, { 2, httpsColumn ? 70 : 100 }, { 3, 135 },
        { 4, code == 40 ? 300 : 130 }, { 5, code == 45 ? 165 : 125 }, { 6, 145 }, { 7, 120 },
        { 8, code == 45 ? 140 : 120 }, { 9, 120 }, { 10, 120 }, { 11, 120 } };
    for (const auto& width : widths)
        m_pNormalView->setColumnWidth(width.first, width.second);
    if (code == 34) {
        m_pNormalView->setColumnWidth(2, 300);
        m_pNormalView->setColumnWidth(12, 120);
    } else if (code == 41) {
        m_pNormalView->setColumnWidth(13, 80);
    } else if (code == 45) {
        m_pNormalView->setColumnWidth(12, 180);
    }

    m_pOnvifModel = new CheckBoxTableModel(m_pOnvifView, TableKindSearch, -1);
    m_pOnvifView->setModel(m_pOnvifModel->proxyModel(), -1);
    for (const auto& width : QList<QPair<int, int>> { { 0, 80 }, { 2, 135 }, { 5, 125 }, { 6, 145 } })
        m_pOnvifView->setColumnWidth(width.first, width.second);
    for (int column = 7; column <= 11; ++column)
        m_pOnvifView->setColumnWidth(column, 120);

    m_pBtnQuery->hide();
    m_pStackedWidget->setCurrentIndex(0);
    m_pCurrentView = m_pNormalView;
    m_pCurrentModel = m_pModel;

    if (httpsColumn) {
        const int width = settings->m_currentLanguage == 2 ? 155 : 120;
        for (int column : { 7, 8, 12 })
            m_pNormalView->setColumnWidth(column, width);
    }
    ShowBottomPanel(false);
}

void SearchFrame::RetranslateTexts()
{
    ZVAppSetting::Instance()->AddLanguageListener(this);
    m_pLableIP->setText(LanguageText(m_bBatchMode ? 45 : 32));
    m_pLabelMediaPort->setText(LanguageText(33));
    m_pLabelGateway->setText(LanguageText(38));
    m_pLabelNetMask->setText(LanguageText(37));
    m_pLabelUserName->setText(LanguageText(12));
    m_pLabelPassword->setText(LanguageText(13));
    m_pLabelWebPort->setText(LanguageText(42));
    m_pLabelNetWorkMode->setText(LanguageText(54));
    m_pBtnModify->setText(LanguageText(59));
    m_pBtnQuery->setText(LanguageText(139));
    m_pComNetMode->clear();
    m_pComNetMode->addItem(LanguageText(56), 0);
    m_pComNetMode->addItem(LanguageText(58), 2);
    m_pComNetMode->setCurrentIndex(0);
    if (Company() != 31)
        FitComboToItems(m_pComNetMode, kNetModeWidth);
    m_pGroupUserInfo->setTitle(LanguageText(46));
    m_pGroupDevInfo->setTitle(LanguageText(47));
    if (Company() == 40) {
        m_pLabelUserName->setText(QStringLiteral("User Name"));
        for (QLabel* label : { m_pLableIP, m_pLabelMediaPort, m_pLabelGateway, m_pLabelNetMask, m_pLabelUserName,
                 m_pLabelPassword, m_pLabelWebPort, m_pLabelNetWorkMode, m_pLabelDNS1, m_pLabelDNS2 })
            label->setStyleSheet(QStringLiteral("QLabel{ font: bold;}"));
    }

    // Every address, the widest included, shows whole in its edit.
    for (LineEdit* edit : { m_pEditIP, m_pEditGateway, m_pEditNetMask, m_pEditDNS1, m_pEditDNS2 })
        FitEditToText(edit, QLatin1String(kWidestAddress));
    // The label takes the width of the longer of its two texts, so that the
    // panel does not move when the label switches.
    const QString shown = m_pLableIP->text();
    int widest = 0;
    for (TextId id : { 32, 45 }) {
        m_pLableIP->setText(LanguageText(id));
        widest = qMax(widest, m_pLableIP->sizeHint().width());
    }
    m_pLableIP->setText(shown);
    m_pLableIP->setMinimumWidth(widest);
}

void SearchFrame::ShowBottomPanel(bool show)
{
    if (m_bBottomVisible == show)
        return;
    m_bBottomVisible = show;
    ZVAppSetting::Instance()->AddLanguageListener(this);
    if (!show) {
        m_pHBoxLayout->removeWidget(m_pBottom);
        m_pBottom->hide();
        return;
    }
    m_pHBoxLayout->addWidget(m_pBottom);
    m_pBottom->show();
    if (IsOnvif()) {
        m_pEditPort->setEnabled(false);
        m_pLabelMediaPort->setEnabled(false);
        m_pLabelMediaPort->hide();
    } else if (UsesHttpApi()) {
        m_pEditPort->setEnabled(true);
        m_pLabelMediaPort->setEnabled(false);
        m_pLabelMediaPort->hide();
    } else {
        m_pEditPort->setEnabled(true);
        m_pLabelMediaPort->setEnabled(true);
        m_pLabelMediaPort->show();
    }
}

void SearchFrame::StartSearch()
{
    m_bSearching = true;
    UpdateToolBarLock();

    // The search still running, if any, is given up: nothing it finds from
    // here on is kept, and what it had found is freed.
    SearchRuns::Close(m_searchRun);
    m_searchRun = nullptr;
    m_pModel->clear();
    m_pOnvifModel->clear();
    DropSearchResults();
    DeviceInfoMng::Instance()->ReplaceLanDevices(m_searchResults);
    // No page may keep the freed devices in its table meanwhile.
    ClearDeviceLists(m_pages);
    ShowBottomPanel(false);

    const CompanyCode code = Company();
    const quint64 number = ++m_searchNumber;
    bool started = false;
    void* run = nullptr;
    if (!IsHttpApiCompany(code)) {
        // The protocol is fixed for the whole search.
        const bool onvif = IsOnvif();
        run = SearchRuns::Open([this, onvif, number](const SearchDevRsp* record) {
            if (record)
                OnSearchResult(record, onvif);
            else // from the SDK's thread, handed over as every device event is
                PostDeviceEvent(this, new SearchEndEvent(number));
        });
        m_searchRun = run;
        ZVNetSearchParam param;
        std::memset(&param, 0, sizeof(param));
        param.callback = &SearchFrame::SearchCallback;
        param.user = run;
        param.deviceFamily = SearchFamily(code);
        if (onvif) {
            if (m_onvifSearchHandle != 0)
                ZVOnvifSearchDevStop(&m_onvifSearchHandle);
            m_onvifSearchHandle = ZVOnvifSearchDevStart(&param);
            started = m_onvifSearchHandle != 0;
        } else {
            started = ZVNetSearchDev(&param) != 0;
        }
    }
    if (!started) {
        // No search runs (none for the HTTP API customers, or the SDK could
        // not start one): it ends now, with nothing found, so the bar is free.
        SearchRuns::Close(run);
        m_searchRun = nullptr;
        QCoreApplication::postEvent(this, new SearchEndEvent(number));
    }
    m_pTimer.start(1000);
}

int SearchFrame::SearchCallback(const SearchDevRsp* record, void* user)
{
    if (!user)
        return 0;
    return SearchRuns::Deliver(user, record) ? 1 : 0;
}

void SearchFrame::OnSearchResult(const SearchDevRsp* record, bool onvif)
{
    auto* device = new DeviceInfo;
    device->InitFromSearchRsp(record, onvif);
    const QString ip = device->Ip();
    {
        QMutexLocker locker(&m_mutex);
        const bool listed = std::any_of(m_searchResults.cbegin(), m_searchResults.cend(),
            [&ip](const DeviceInfo* other) { return other->Ip() == ip; });
        if (!listed) {
            device->moveToThread(QCoreApplication::instance()->thread());
            m_searchResults.append(device);
            return;
        }
    }
    // Still on the thread that made it: one reply per address is kept.
    delete device;
}

void SearchFrame::ListSearchResults()
{
    QMutexLocker locker(&m_mutex);
    std::stable_sort(m_searchResults.begin(), m_searchResults.end(), &LessThanByIp);
    DeviceInfoMng::Instance()->SetLanDevices(m_searchResults);
    m_bResultsListed = true;
    m_pCurrentModel->setDevices(m_searchResults);
}

void SearchFrame::DropSearchResults()
{
    QList<DeviceInfo*> found;
    {
        QMutexLocker locker(&m_mutex);
        found.swap(m_searchResults);
    }
    // Listed devices belong to DeviceInfoMng, which frees them itself.
    if (!m_bResultsListed)
        qDeleteAll(found);
    m_bResultsListed = false;
}

void SearchFrame::UpdateToolBarLock()
{
    if (m_pToolBarFrame)
        m_pToolBarFrame->SetControlsEnabled(!m_bSearching && !IsBatchRunning());
}

void SearchFrame::customEvent(QEvent* event)
{
    // The search's end comes from the SDK's thread (PostDeviceEvent); the
    // hand-off is restated for thread checkers, also without the main window.
    TakePostedEvent(this);
    switch (static_cast<int>(event->type())) {
    case PageEvents::SearchFinishedEvent: {
        const auto* end = dynamic_cast<SearchEndEvent*>(event);
        // The end of a search that was given up changes nothing.
        if (!m_bSearching || (end && end->number != m_searchNumber))
            return;
        m_searchRun = nullptr;
        ListSearchResults();
        m_bSearching = false;
        UpdateToolBarLock();
        RefreshDeviceLists(m_pages);
        return;
    }
    case PageEvents::SearchWorkFinishedEvent: SetEditsEnabled(true); return;
    case LanguageChangedEvent::EventType: RetranslateTexts(); return;
    default: QFrame::customEvent(event);
    }
}

void SearchFrame::OnRefreshTimeOut()
{
    m_pTimer.stop();
}

void SearchFrame::SetProtocol(int index)
{
    m_protocol = index == 1 ? 1 : 0;
    m_pStackedWidget->setCurrentIndex(m_protocol);
    if (m_protocol == 1) {
        m_pCurrentView = m_pOnvifView;
        m_pCurrentModel = m_pOnvifModel;
        const CompanyCode code = Company();
        const bool shifted = code == 20 || code == 42;
        const int d = shifted ? 3 : 2;
        const int c = shifted ? 13 : 12;
        if (shifted)
            m_pOnvifView->hideColumn(2);
        for (int column : { d, d + 2, d + 4, d + 5, d + 6, d + 7, d + 9, c })
            m_pOnvifView->hideColumn(column);
        m_pBtnQuery->show();
    } else {
        m_pCurrentView = m_pNormalView;
        m_pCurrentModel = m_pModel;
        m_pBtnQuery->hide();
    }
    StartSearch();
}

void SearchFrame::SetPages(const QList<DevicePage*>& pages)
{
    m_pages = pages;
}

DeviceInfo* SearchFrame::GetCurrentDevice() const
{
    return m_pCurrentModel->deviceAt(m_pCurrentView->currentIndex());
}

void SearchFrame::GetLoginText(QString* user, QString* password) const
{
    if (user)
        *user = m_pEditUserName->text();
    if (password)
        *password = m_pEditPassword->text();
}

void SearchFrame::SetFilterColumn(int column)
{
    DevicePage::SetFilterColumn(column);
    const CompanyCode code = Company();
    if (code == 34 && column > 1)
        ++column;
    else if (IsHttpApiCompany(code) && column == 2)
        column = 3;
    if (column != m_pCurrentModel->filterColumn() && m_pCurrentModel->proxyModel())
        m_pCurrentModel->setFilterColumn(column);
}

void SearchFrame::SetFilterText(const QString& text)
{
    DevicePage::SetFilterText(text);
    if (text != m_pCurrentModel->filterText() && m_pCurrentModel->proxyModel())
        m_pCurrentModel->setFilterText(text);
}

void SearchFrame::SetBatchMode(bool batch)
{
    m_bBatchMode = batch;
    m_pLableIP->setText(LanguageText(batch ? 45 : 32));
}

void SearchFrame::ClearPanelEdits()
{
    for (LineEdit* edit : { m_pEditIP, m_pEditPort, m_pEditWebPort, m_pEditGateway, m_pEditNetMask })
        edit->clear();
}

void SearchFrame::FillPanel(const DeviceInfo* device)
{
    const SearchDevRsp& record = device->m_searchRsp;
    m_pEditIP->setText(device->Ip());
    m_pEditPort->setText(PortText(record.mediaPort));
    m_pEditWebPort->setText(QString::number(record.webPort));
    m_pEditGateway->setText(device->Gateway());
    m_pEditNetMask->setText(device->Netmask());
}

void SearchFrame::onClickTableView(const QModelIndex& index)
{
    if (index != m_pCurrentView->currentIndex())
        m_pCurrentView->selectRow(index.row());
    const CompanyCode code = Company();
    ShowBottomPanel(!(code == 20 && IsOnvif()));

    DeviceInfo* device = m_pCurrentModel->deviceAt(index);
    if (m_pCurrentView->headCheckState() == Qt::Unchecked) {
        if (m_bBatchMode)
            SetBatchMode(false);
        if (device) {
            FillPanel(device);
            if (IsHttpApiCompany(code)) {
                m_pEditPort->setEnabled(false);
                m_pEditPort->hide();
            }
            m_pEditDNS1->setText(FieldText(device->m_searchRsp.dns1));
            m_pEditDNS2->setText(FieldText(device->m_searchRsp.dns2));
            const int mode = device->m_searchRsp.networkMode != 0 ? 1 : 0;
            if (m_pComNetMode->currentIndex() == mode)
                OnNetModeChanged(mode);
            else
                m_pComNetMode->setCurrentIndex(mode);
        }
    } else if (!m_bBatchMode) {
        SetBatchMode(true);
        ClearPanelEdits();
        m_pEditDNS1->clear();
        m_pEditDNS2->clear();
        m_pComNetMode->setCurrentIndex(1);
    }

    if (index.column() == 1 && device) {
        const bool https = device->m_httpsCheckState == Qt::Checked;
        OpenDeviceWebPage(device->Ip(), static_cast<quint16>(device->m_searchRsp.webPort), https,
            code == 0 ? QStringLiteral("runas") : QString());
    }
}

void SearchFrame::onHeadCheckChanged(Qt::CheckState state)
{
    if (state != Qt::Unchecked) {
        ShowBottomPanel(true);
        if (!m_bBatchMode)
            SetBatchMode(true);
    } else if (m_bBatchMode) {
        SetBatchMode(false);
    }
    ClearPanelEdits();
}

void SearchFrame::OnNetModeChanged(int index)
{
    if (index == -1)
        return;
    for (LineEdit* edit : { m_pEditIP, m_pEditGateway, m_pEditNetMask })
        edit->setEnabled(index != 0);
}

void SearchFrame::OnDoubleClickTableView(const QModelIndex&)
{
    if (!IsOnvif())
        emit SearchFrameDoubleClick();
}

void SearchFrame::SetEditsEnabled(bool enabled)
{
    for (QWidget* widget : { static_cast<QWidget*>(m_pEditGateway), static_cast<QWidget*>(m_pEditIP),
             static_cast<QWidget*>(m_pEditNetMask), static_cast<QWidget*>(m_pEditWebPort),
             static_cast<QWidget*>(m_pBtnModify), static_cast<QWidget*>(m_pBtnQuery) })
        widget->setEnabled(enabled);
    m_pEditPort->setEnabled(enabled && !IsOnvif());
    UpdateToolBarLock();
    if (!enabled)
        return;
    if (const DeviceInfo* device = m_pCurrentModel->deviceAt(m_pCurrentView->currentIndex())) {
        FillPanel(device);
        if (device->m_searchRsp.networkMode == 0)
            OnNetModeChanged(0);
    }
}

QList<DeviceInfo*> SearchFrame::PanelDevices() const
{
    QList<DeviceInfo*> devices;
    if (m_bBatchMode)
        m_pCurrentModel->getCheckedDevices(devices);
    else if (DeviceInfo* device = m_pCurrentModel->deviceAt(m_pCurrentView->currentIndex()))
        devices.append(device);
    return devices;
}

void SearchFrame::BeginPanelBatch(const QList<DeviceInfo*>& devices)
{
    {
        QMutexLocker locker(&m_mutex);
        m_workingDevices = devices;
    }
    if (devices.isEmpty())
        return;
    SetEditsEnabled(false);
    for (DeviceInfo* device : devices) {
        device->m_status = StatusWaiting;
        if (!device->m_pSearchFrame)
            device->m_pSearchFrame = this;
    }
    m_pCurrentModel->updateDevices(devices);
}

void SearchFrame::QueuePanelTask(void (*task)(void*), DeviceInfo* device)
{
    device->SetParams(m_pEditUserName->text(), m_pEditPassword->text(), QString(), QString(), QString(), QString(),
        QString(), 0, 0, 0, 0);
    if (!QueueDeviceTask(task, device)) {
        device->m_status = StatusFailed;
        OnDeviceTaskFinished(device, true, true);
    }
}

void SearchFrame::OnBtnModifyClicked()
{
    const QList<DeviceInfo*> devices = PanelDevices();
    const QString ip = m_pEditIP->text();
    const QString gateway = m_pEditGateway->text();
    const QString netmask = m_pEditNetMask->text();
    const QString dns1 = m_pEditDNS1->text();
    const QString dns2 = m_pEditDNS2->text();
    const quint16 mediaPort = PortOf(m_pEditPort);
    const quint16 webPort = PortOf(m_pEditWebPort);
    const int mode = UsesHttpApi() ? m_pComNetMode->currentIndex() : m_pComNetMode->currentData().toInt();
    void (*task)(void*) = IsOnvif() ? &ModifyOnvifNetworkTask : &ModifyNetworkTask;
    const bool addressed = mode != 0 && (mode != 1 || !ip.isEmpty() || !gateway.isEmpty() || !netmask.isEmpty());
    if (addressed) {
        // What is typed must be an address each device can use; the start
        // address gives the network of a whole batch.
        for (const DeviceInfo* device : devices) {
            const NetworkInputFault fault = CheckNetworkInput(ip, netmask, gateway, device->Ip(), device->Netmask());
            if (fault) {
                RefuseNetworkInput(fault, { m_pLableIP, m_pEditIP }, { m_pLabelNetMask, m_pEditNetMask },
                    { m_pLabelGateway, m_pEditGateway });
                return;
            }
        }
    }
    BeginPanelBatch(devices);

    // Each device keeps its own mask unless one is typed.
    QStringList masks;
    for (const DeviceInfo* device : devices)
        masks << (netmask.isEmpty() ? device->Netmask() : netmask);
    const QVector<BatchAddress> plan = PlanBatchAddresses(ip, masks);
    for (int i = 0; i < devices.size(); ++i) {
        DeviceInfo* device = devices.at(i);
        if (addressed && plan.at(i).refused) {
            // Its address would leave it unreachable: nothing is sent.
            device->m_status = StatusFailed;
            OnDeviceTaskFinished(device, false, true);
            continue;
        }
        if (addressed) {
            device->SetNetworkParams(plan.at(i).ip, mediaPort, webPort, gateway, netmask, mode, dns1, dns2);
        } else {
            // Empty texts: each device keeps its own address.
            device->SetNetworkParams(QString(), mediaPort, webPort, QString(), QString(), mode, QString(), QString());
        }
        QueuePanelTask(task, device);
    }
}

void SearchFrame::on_m_pBtnQuery_clicked()
{
    const QList<DeviceInfo*> devices = PanelDevices();
    BeginPanelBatch(devices);
    for (DeviceInfo* device : devices)
        QueuePanelTask(&QueryNetworkTask, device);
}

void SearchFrame::OnDeviceTaskFinished(DeviceInfo* device, bool finished)
{
    auto report = [this, device, finished] { OnDeviceTaskFinished(device, finished, true); };
    if (OnPageThread(report))
        report();
}

// The row is refreshed whole either way: a change may reach any of its cells.
void SearchFrame::OnDeviceTaskFinished(DeviceInfo* device, bool, bool remove)
{
    bool emptied = false;
    if (remove) {
        QMutexLocker locker(&m_mutex);
        emptied = m_workingDevices.removeOne(device) && m_workingDevices.isEmpty();
    }
    // A device of an earlier search is no longer listed: its row is gone.
    m_pCurrentModel->updateDevice(device);
    if (emptied)
        QCoreApplication::postEvent(this, new QEvent(PageEvents::SearchWorkFinishedEvent));
}

void SearchFrame::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    ApplyLayout(event->size().width() < kGridBelowWidth ? LayoutGrid : LayoutRow);
}

void SearchFrame::ApplyLayout(int mode)
{
    if (mode == m_layoutMode)
        return;
    m_layoutMode = mode;
    TakeWidgets(m_pUserRowLayout);
    TakeWidgets(m_pDeviceRowLayout);
    TakeWidgets(m_pUserGridLayout);
    TakeWidgets(m_pDeviceGridLayout);
    const bool dns = Company() == 31;
    if (mode == LayoutRow) {
        for (QWidget* widget : { static_cast<QWidget*>(m_pLabelUserName), static_cast<QWidget*>(m_pEditUserName),
                 static_cast<QWidget*>(m_pLabelPassword), static_cast<QWidget*>(m_pEditPassword) })
            m_pUserRowLayout->addWidget(widget, 0);
        QList<QWidget*> row = { m_pLableIP, m_pEditIP, m_pLabelMediaPort, m_pEditPort, m_pLabelWebPort, m_pEditWebPort,
            m_pLabelGateway, m_pEditGateway, m_pLabelNetMask, m_pEditNetMask, m_pLabelNetWorkMode, m_pComNetMode };
        if (dns)
            row << m_pLabelDNS1 << m_pEditDNS1 << m_pLabelDNS2 << m_pEditDNS2;
        for (QWidget* widget : qAsConst(row))
            m_pDeviceRowLayout->addWidget(widget, 0);
        return;
    }
    m_pUserGridLayout->addWidget(m_pLabelUserName, 0, 0);
    m_pUserGridLayout->addWidget(m_pEditUserName, 0, 1);
    m_pUserGridLayout->addWidget(m_pLabelPassword, 1, 0);
    m_pUserGridLayout->addWidget(m_pEditPassword, 1, 1);
    const QList<QWidget*> top
        = { m_pLableIP, m_pEditIP, m_pLabelMediaPort, m_pEditPort, m_pLabelWebPort, m_pEditWebPort };
    const QList<QWidget*> bottom
        = { m_pLabelGateway, m_pEditGateway, m_pLabelNetMask, m_pEditNetMask, m_pLabelNetWorkMode, m_pComNetMode };
    for (int column = 0; column < top.size(); ++column) {
        m_pDeviceGridLayout->addWidget(top.at(column), 0, column);
        m_pDeviceGridLayout->addWidget(bottom.at(column), 1, column);
    }
    if (dns) {
        m_pDeviceGridLayout->addWidget(m_pLabelDNS1, 0, 6);
        m_pDeviceGridLayout->addWidget(m_pEditDNS1, 0, 7);
        m_pDeviceGridLayout->addWidget(m_pLabelDNS2, 1, 6);
        m_pDeviceGridLayout->addWidget(m_pEditDNS2, 1, 7);
    }
}
