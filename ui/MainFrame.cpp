#include "MainFrame.h"

#include "DeviceEvents.h"
#include "ExtranetsearchFrame.h"
#include "PageFactory.h"
#include "SearchFrame.h"
#include "TitleBarFrame.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace
{
constexpr int kBorder = 5;
// Around the tool bar and the pages.
constexpr int kPageMargin = 10;

bool IsOneOf(CompanyCode code, std::initializer_list<int> codes)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// The page each tool-bar button shows.
constexpr PageIndex kButtonPages[ToolBarFrame::ButtonCount] = {
    PageSearch,
    PageUpgrade,
    PageConfig,
    PageDeviceInfo,
    PageImportExport,
    PageChangePassword,
    PageExportExcel,
    PageExtranetSearch,
    PageStreamConfig,
    PageOSDConfig,
    PageRecoveryDevice,
    PageInitialDevice,
    PageRebootDevice,
    PageChangeDevice,
};
} // namespace

MainFrame::MainFrame(const PageFactory& pages, QWidget* parent)
    : QFrame(parent)
    , m_pTitleBar(nullptr)
    , m_pToolBar(nullptr)
    , m_pStackedWidget(nullptr)
{
    qApp->installEventFilter(this);
    setMouseTracking(true);
    SetMinimumSize(1048, 636);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowMaximizeButtonHint);
    m_borderPen = QPen(QColor(134, 134, 134));

    const CompanyCode code = Company();
    m_pTitleBar = new TitleBarFrame(this, true);
    m_pTitleBar->setFixedHeight(code == 2 ? 150 : 50);
    m_pToolBar = new ToolBarFrame(this);
    m_pStackedWidget = new QStackedWidget(this);
    BuildPages(pages);

    if (code == 20 || code == 40)
        ToggleMaximized();

    auto* outer = new QVBoxLayout(this);
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_pTitleBar);
    auto* inner = new QVBoxLayout;
    inner->setSpacing(0);
    inner->setContentsMargins(kPageMargin, 0, kPageMargin, kPageMargin);
    inner->addWidget(m_pToolBar);
    inner->addWidget(m_pStackedWidget);
    outer->addLayout(inner);
    SetMinimumSize(m_ruleMinimumWidth, minimumHeight());

    connect(this, &MainFrame::Doubleclicked, m_pTitleBar, &TitleBarFrame::RestoreOrMax);
    connect(m_pTitleBar, &TitleBarFrame::CloseRequest, this, &MainFrame::OnCloseReponse);
    connect(m_pTitleBar, &TitleBarFrame::MinReqest, this, &MainFrame::OnMinResponse);
    connect(m_pTitleBar, &TitleBarFrame::Restore, this, &MainFrame::OnRestoreResponse);
    connect(m_pToolBar, &ToolBarFrame::SearchRequest, this, &MainFrame::OnSearchponse);
    connect(m_pToolBar, &ToolBarFrame::UpgradeRequest, this, &MainFrame::OnUpgradeResponse);
    connect(m_pToolBar, &ToolBarFrame::ConfigRequest, this, &MainFrame::OnConfigRequest);
    connect(m_pToolBar, &ToolBarFrame::DeviceInfoRequest, this, &MainFrame::OnDeviceInfoRequest);
    connect(m_pToolBar, &ToolBarFrame::ImportExportRequest, this, &MainFrame::OnImportExportRequest);
    connect(m_pToolBar, &ToolBarFrame::ChangePasswordRequest, this, &MainFrame::OnChangePasswordRequest);
    connect(m_pToolBar, &ToolBarFrame::ExportExcelRequest, this, &MainFrame::OnExportExcelRequest);
    connect(m_pToolBar, &ToolBarFrame::ExtranetSearchRequest, this, &MainFrame::OnExtranetsearchRequest);
    connect(m_pToolBar, &ToolBarFrame::StreamConfigRequest, this, &MainFrame::OnStreamConfigRequest);
    connect(m_pToolBar, &ToolBarFrame::OSDConfigRequest, this, &MainFrame::OnOSDConfigRequest);
    connect(m_pToolBar, &ToolBarFrame::FilterIndexChangedRequest, this, &MainFrame::OnFilterIndexChangedResponse);
    connect(m_pToolBar, &ToolBarFrame::FilterTextChangedRequest, this, &MainFrame::OnFilterTextChangedResponse);
    connect(m_pToolBar, &ToolBarFrame::ProtocolIndexChangedRequest, this, &MainFrame::OnProtocolIndexChangedResponse);
    connect(m_pToolBar, &ToolBarFrame::RecoveryDeviceRequest, this, &MainFrame::OnRecoveryDeviceRequest);
    connect(m_pToolBar, &ToolBarFrame::InitialDeviceRequest, this, &MainFrame::OnInitialDeviceRequest);
    connect(m_pToolBar, &ToolBarFrame::RebootDeviceRequest, this, &MainFrame::OnRebootDeviceRequest);
    connect(m_pToolBar, &ToolBarFrame::ChangeDeviceRequest, this, &MainFrame::OnChangeDeviceRequest);
    connect(m_pSearchFrame, &SearchFrame::SearchFrameDoubleClick, this, &MainFrame::OnSearchFrameDoubleClick);
}

MainFrame::~MainFrame()
{
    // The application-wide filter must not see the pages die.
    qApp->removeEventFilter(this);
}

void MainFrame::BuildPages(const PageFactory& pages)
{
    m_pSearchFrame = new SearchFrame(this);
    m_pages[PageSearch] = m_pSearchFrame;
    m_pages[PageUpgrade] = pages.CreatePage(PageUpgrade, this);
    m_pLoginFrame = pages.CreateLoginPage(this);
    for (PageIndex index : { PageDeviceInfo, PageImportExport, PageChangePassword, PageExportExcel })
        m_pages[index] = pages.CreatePage(index, this);
    auto* rangeSearch = new ExtranetsearchFrame(this);
    m_pages[PageExtranetSearch] = rangeSearch;
    m_pages[PageStreamConfig] = pages.CreatePage(PageStreamConfig, this);
    m_pOsdConfig = pages.CreateOsdPage(this);
    m_pages[PageOSDConfig] = m_pOsdConfig->Page();
    for (PageIndex index : { PageRecoveryDevice, PageInitialDevice, PageRebootDevice, PageChangeDevice })
        m_pages[index] = pages.CreatePage(index, this);

    for (DevicePage* page : m_pages) {
        if (page)
            page->m_pToolBarFrame = m_pToolBar;
    }
    const QList<DevicePage*> listPages = { m_pages[PageUpgrade], m_pages[PageDeviceInfo], m_pages[PageImportExport],
        m_pages[PageChangePassword], m_pages[PageExportExcel], m_pages[PageStreamConfig], m_pages[PageOSDConfig],
        m_pages[PageRecoveryDevice], m_pages[PageInitialDevice], m_pages[PageRebootDevice], m_pages[PageChangeDevice] };
    m_pSearchFrame->SetPages(listPages);
    rangeSearch->SetPages(listPages);
    m_pSearchFrame->SetFilterColumn(1);

    for (int index = 0; index < PageCount; ++index) {
        QWidget* page = index == PageConfig ? static_cast<QWidget*>(m_pLoginFrame) : m_pages[index];
        m_pStackedWidget->insertWidget(index, page);
    }
    m_pStackedWidget->setCurrentIndex(PageSearch);
    m_osdSliders = { m_pOsdConfig->GetSldX(), m_pOsdConfig->GetSldY(), m_pOsdConfig->GetSldDateX(),
        m_pOsdConfig->GetSldDateY() };
    m_pSearchFrame->StartSearch();
}

void MainFrame::ShowPage(PageIndex index, bool streamMode)
{
    m_pStackedWidget->setCurrentIndex(index);
    m_pToolBar->ProtocolLabel()->hide();
    m_pToolBar->ProtocolCombo()->hide();
    m_pToolBar->RefillFilterCombo(streamMode);
    if (DevicePage* page = m_pages[index]) {
        page->SetFilterColumn(m_pToolBar->GetFilterColumn());
        page->SetFilterText(m_pToolBar->FilterText());
    }
}

DevicePage* MainFrame::FilteredPage() const
{
    for (int i = 0; i < ToolBarFrame::ButtonCount; ++i) {
        const auto button = static_cast<ToolBarFrame::PageButton>(i);
        if (button != ToolBarFrame::ButtonConfig && m_pToolBar->IsShownAndChecked(button))
            return m_pages[kButtonPages[i]];
    }
    return nullptr;
}

void MainFrame::OnCloseReponse(int)
{
    close();
}

void MainFrame::OnMinResponse()
{
    showMinimized();
}

void MainFrame::OnRestoreResponse()
{
    ToggleMaximized();
}

void MainFrame::OnSearchponse()
{
    if (m_pToolBar->IsShownAndChecked(ToolBarFrame::ButtonSearch)) {
        m_pStackedWidget->setCurrentIndex(PageSearch);
        if (ToolBarFrame::ShowsProtocol(Company())) {
            m_pToolBar->ProtocolLabel()->show();
            m_pToolBar->ProtocolCombo()->show();
        }
        m_pToolBar->RefillFilterCombo(false);
        m_pSearchFrame->SetFilterColumn(m_pToolBar->GetFilterColumn());
        m_pSearchFrame->SetFilterText(m_pToolBar->FilterText());
    }
    // Also a search request from another page: search without switching.
    m_pSearchFrame->StartSearch();
}

void MainFrame::OnUpgradeResponse()
{
    ShowPage(PageUpgrade, false);
}

void MainFrame::OnConfigRequest()
{
    m_pStackedWidget->setCurrentIndex(PageConfig);
    m_pToolBar->ProtocolLabel()->hide();
    m_pToolBar->ProtocolCombo()->hide();
    emit m_pLoginFrame->IsLoginFrame();
}

void MainFrame::OnDeviceInfoRequest()
{
    ShowPage(PageDeviceInfo, false);
}

void MainFrame::OnImportExportRequest()
{
    ShowPage(PageImportExport, false);
}

void MainFrame::OnChangePasswordRequest()
{
    ShowPage(PageChangePassword, false);
}

void MainFrame::OnExportExcelRequest()
{
    ShowPage(PageExportExcel, false);
}

void MainFrame::OnExtranetsearchRequest()
{
    ShowPage(PageExtranetSearch, false);
}

void MainFrame::OnStreamConfigRequest()
{
    ShowPage(PageStreamConfig, true);
}

void MainFrame::OnOSDConfigRequest()
{
    ShowPage(PageOSDConfig, false);
}

void MainFrame::OnRecoveryDeviceRequest()
{
    ShowPage(PageRecoveryDevice, false);
}

void MainFrame::OnInitialDeviceRequest()
{
    ShowPage(PageInitialDevice, false);
}

void MainFrame::OnRebootDeviceRequest()
{
    ShowPage(PageRebootDevice, false);
}

void MainFrame::OnChangeDeviceRequest()
{
    ShowPage(PageChangeDevice, false);
}

void MainFrame::OnSearchFrameDoubleClick()
{
    QString user;
    QString password;
    m_pSearchFrame->GetLoginText(&user, &password);
    DeviceInfo* device = m_pSearchFrame->GetCurrentDevice();
    if (!device)
        return;
    m_pToolBar->Button(ToolBarFrame::ButtonConfig)->setChecked(true);
    m_pLoginFrame->SetDeviceAddress(device);
    m_pLoginFrame->SetUserPassword(user, password);
    emit m_pToolBar->ConfigRequest();
}

void MainFrame::OnFilterIndexChangedResponse()
{
    const int column = m_pToolBar->GetFilterColumn();
    if (DevicePage* page = FilteredPage())
        page->SetFilterColumn(column);
}

void MainFrame::OnFilterTextChangedResponse()
{
    if (DevicePage* page = FilteredPage())
        page->SetFilterText(m_pToolBar->FilterText());
}

void MainFrame::OnProtocolIndexChangedResponse()
{
    const int index = m_pToolBar->ProtocolCombo()->currentIndex();
    if (m_pToolBar->IsShownAndChecked(ToolBarFrame::ButtonSearch))
        m_pToolBar->SetPageButtonsVisible(index == 0);
    m_pSearchFrame->SetProtocol(index);
    m_pSearchFrame->SetFilterColumn(m_pToolBar->GetFilterColumn());
    m_pSearchFrame->SetFilterText(m_pToolBar->FilterText());
}

void MainFrame::ToggleMaximized()
{
    const bool wasMaximized = m_bMaximized;
    m_bMaximized = !m_bMaximized;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    if (wasMaximized) {
        setGeometry(m_normalGeometry);
        const QRect desktop = primary->virtualGeometry();
        move((desktop.width() - width()) / 2, (desktop.height() - height()) / 2);
        return;
    }

    const QList<QScreen*> screens = QGuiApplication::screens();
    // The window's own screen once it has one (screens may be separate
    // desktops at the same coordinates), else the one under its centre.
    QScreen* own = windowHandle() ? windowHandle()->screen() : nullptr;
    const int holder = screens.indexOf(own ? own : QGuiApplication::screenAt(geometry().center()));
    const QRect primaryArea = primary->availableGeometry();
    QRect target = primaryArea;
    double share = 0.6;
    if (screens.size() > 1 && holder > 0) {
        target = screens.at(holder)->availableGeometry();
        share = 0.5;
    }
    if (maximumSize() != target.size())
        setMaximumSize(target.size());
    SetMinimumSize(static_cast<int>(primaryArea.width() * share), static_cast<int>(primaryArea.height() * share));
    m_normalGeometry = geometry();
    setGeometry(target);
}

QRect MainFrame::InnerRect() const
{
    return rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
}

void MainFrame::SetArrowCursor()
{
    setCursor(Qt::ArrowCursor);
    m_bCursorChanged = false;
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event)
{
    // This filter sees every event before its receiver, also those posted by
    // device threads: the hand-off is restated for thread checkers here.
    TakePostedEvent(watched);
    if (event->type() == QEvent::MouseMove && m_bCursorChanged && !m_bResizing) {
        // The border cursor does not stay once the pointer is over a child.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (InnerRect().contains(mapFromGlobal(mouse->globalPos())))
            SetArrowCursor();
    }
    if (event->type() == QEvent::MouseButtonPress && !m_osdSliders.isEmpty()) {
        auto* slider = qobject_cast<QSlider*>(watched);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (slider && m_osdSliders.contains(slider) && mouse->button() == Qt::LeftButton && slider->width() > 0) {
            // A click jumps to the clicked value instead of paging towards it.
            const double share = static_cast<double>(mouse->x()) / slider->width();
            const int value = static_cast<int>(slider->minimum() + share * (slider->maximum() - slider->minimum()));
            if (value != slider->sliderPosition())
                slider->setValue(value);
        }
    }
    return QFrame::eventFilter(watched, event);
}

void MainFrame::mousePressEvent(QMouseEvent* event)
{
    m_bPressed = true;
    m_pressPos = event->pos();
    m_pressGlobalPos = event->globalPos();
}

void MainFrame::mouseReleaseEvent(QMouseEvent*)
{
    m_bPressed = false;
    m_bResizing = false;
    m_bMoving = false;
    SetArrowCursor();
}

void MainFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QRect titleArea = m_pTitleBar->geometry().adjusted(kBorder, kBorder, -kBorder, 0);
        if (titleArea.contains(event->pos())) {
            if (IsOneOf(Company(), { 20, 34, 42 }))
                emit Doubleclicked();
            ToggleMaximized();
        }
    }
    event->ignore();
}

void MainFrame::ResizeByBorder(const QPoint& globalPos)
{
    const int dx = globalPos.x() - m_pressGlobalPos.x();
    const int dy = globalPos.y() - m_pressGlobalPos.y();
    const QRect& g = m_normalGeometry;
    const bool heightFits = minimumHeight() < g.height() - dy;
    const bool widthFits = minimumWidth() < g.width() - dx;
    switch (m_resizeZone) {
    case ZoneTop:
        if (heightFits) {
            resize(width(), g.height() - dy);
            move(x(), globalPos.y());
        }
        break;
    case ZoneTopRight:
        if (heightFits) {
            resize(g.width() + dx, g.height() - dy);
            move(x(), globalPos.y());
        }
        break;
    case ZoneRight: resize(g.width() + dx, height()); break;
    case ZoneBottomRight: resize(g.width() + dx, g.height() + dy); break;
    case ZoneBottom: resize(width(), g.height() + dy); break;
    case ZoneBottomLeft:
        if (widthFits) {
            resize(g.width() - dx, g.height() + dy);
            move(globalPos.x(), y());
        }
        break;
    case ZoneLeft:
        if (widthFits) {
            resize(g.width() - dx, height());
            move(globalPos.x(), y());
        }
        break;
    case ZoneTopLeft:
        if (widthFits && heightFits) {
            resize(g.width() - dx, g.height() - dy);
            move(globalPos);
        }
        break;
    default: break;
    }
}

void MainFrame::UpdateBorderCursor(const QPoint& pos)
{
    if (InnerRect().contains(pos)) {
        SetArrowCursor();
        return;
    }
    const int x = pos.x();
    const int y = pos.y();
    Qt::CursorShape shape;
    if (y <= kBorder) {
        if (x <= kBorder) {
            m_resizeZone = ZoneTopLeft;
            shape = Qt::SizeFDiagCursor;
        } else if (x >= width() - kBorder) {
            m_resizeZone = ZoneTopRight;
            shape = Qt::SizeBDiagCursor;
        } else {
            m_resizeZone = ZoneTop;
            shape = Qt::SizeVerCursor;
        }
    } else if (y < height() - kBorder) {
        m_resizeZone = x <= kBorder ? ZoneLeft : ZoneRight;
        shape = Qt::SizeHorCursor;
    } else if (x <= kBorder) {
        m_resizeZone = ZoneBottomLeft;
        shape = Qt::SizeBDiagCursor;
    } else if (x >= width() - kBorder) {
        m_resizeZone = ZoneBottomRight;
        shape = Qt::SizeFDiagCursor;
    } else {
        m_resizeZone = ZoneBottom;
        shape = Qt::SizeVerCursor;
    }
    setCursor(shape);
    m_bCursorChanged = true;
}

void MainFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bResizing) {
        ResizeByBorder(event->globalPos());
    } else if (m_bMoving) {
        move(event->globalPos() - m_pressPos);
    } else if (m_bPressed) {
        const QRect inner = InnerRect();
        if (!inner.contains(event->pos())) {
            m_bResizing = true;
            m_normalGeometry = geometry();
        } else {
            QRect titleArea = inner;
            titleArea.setBottom(m_pTitleBar->geometry().bottom());
            if (titleArea.contains(event->pos()))
                m_bMoving = true;
        }
    } else {
        UpdateBorderCursor(event->pos());
    }
}

void MainFrame::leaveEvent(QEvent* event)
{
    if (!m_bResizing)
        SetArrowCursor();
    QFrame::leaveEvent(event);
}

void MainFrame::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(m_borderPen);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

int MainFrame::NeededWidth() const
{
    // The page buttons at their own widths within their bounds, and the
    // filter beside them. (The search page fits below that: it lays its panel
    // out on two rows in a narrow window.)
    if (!m_pToolBar)
        return m_ruleMinimumWidth;
    const int needed = qMax(m_ruleMinimumWidth, m_pToolBar->sizeHint().width() + 2 * kPageMargin);
    // On a screen narrower than that the window still fits the screen.
    return qMin(needed, maximumWidth());
}

void MainFrame::SetMinimumSize(int width, int height)
{
    m_ruleMinimumWidth = width;
    setMinimumSize(NeededWidth(), height);
}

bool MainFrame::event(QEvent* event)
{
    const bool handled = QFrame::event(event);
    // New texts (a language change) may need a wider tool bar.
    if (event->type() == QEvent::LayoutRequest && m_ruleMinimumWidth > 0 && minimumWidth() != NeededWidth())
        setMinimumWidth(NeededWidth());
    return handled;
}

void MainFrame::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    if (m_bFirstShow) {
        m_bFirstShow = false;
        ToggleMaximized();
    }
}
