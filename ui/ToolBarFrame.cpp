#include "ToolBarFrame.h"

#include "LanguageTexts.h"
#include "ZVAppSetting.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace
{
using Request = void (ToolBarFrame::*)();

struct ButtonSpec
{
    TextId text;
    Request request;
};

// Per button, in PageButton order: its text (also its tool tip) and its request.
const ButtonSpec kButtons[ToolBarFrame::ButtonCount] = {
    { 10, &ToolBarFrame::SearchRequest },
    { 11, &ToolBarFrame::UpgradeRequest },
    { 83, &ToolBarFrame::ConfigRequest },
    { 95, &ToolBarFrame::DeviceInfoRequest },
    { 112, &ToolBarFrame::ImportExportRequest },
    { 169, &ToolBarFrame::ChangePasswordRequest },
    { 168, &ToolBarFrame::ExportExcelRequest },
    { 159, &ToolBarFrame::ExtranetSearchRequest },
    { 171, &ToolBarFrame::StreamConfigRequest },
    { 180, &ToolBarFrame::OSDConfigRequest },
    { 196, &ToolBarFrame::RecoveryDeviceRequest },
    { 199, &ToolBarFrame::InitialDeviceRequest },
    { 224, &ToolBarFrame::RebootDeviceRequest },
    { 229, &ToolBarFrame::ChangeDeviceRequest },
};

} // namespace

QVector<ToolBarFrame::PageButton> ToolBarFrame::FurtherButtons(int companyCode)
{
    switch (companyCode) {
    case 0:
        return { ButtonStreamConfig, ButtonOSDConfig, ButtonRecoveryDevice, ButtonImportExport, ButtonRebootDevice,
            ButtonChangePassword };
    case 5:
    case 16: return { ButtonImportExport };
    case 13:
    case 22:
    case 36: return { ButtonDeviceInfo };
    case 20:
    case 42: return { ButtonExtranetSearch };
    case 34: return { ButtonChangePassword };
    case 37: return { ButtonExportExcel };
    case 38: return { ButtonExportExcel, ButtonStreamConfig, ButtonOSDConfig, ButtonChangePassword };
    // ExportExcel is offered to 39 as well; it takes its place after Config
    // as for 37 and 38 instead of floating outside the row.
    case 39: return { ButtonExportExcel, ButtonStreamConfig, ButtonOSDConfig, ButtonChangePassword };
    case 40: return { ButtonRecoveryDevice, ButtonChangeDevice };
    case 43:
    case 44:
        return { ButtonChangePassword, ButtonExportExcel, ButtonImportExport, ButtonOSDConfig, ButtonStreamConfig,
            ButtonInitialDevice, ButtonRebootDevice, ButtonExtranetSearch };
    case 45:
        return { ButtonStreamConfig, ButtonOSDConfig, ButtonRecoveryDevice, ButtonImportExport, ButtonChangePassword };
    default: return {};
    }
}

bool ToolBarFrame::ShowsProtocol(int companyCode)
{
    static const QVector<int> codes = { 13, 20, 26, 34, 36, 37, 38, 39, 42 };
    return codes.contains(companyCode);
}

ToolBarFrame::ToolBarFrame(QWidget* parent)
    : QFrame(parent)
    , m_pButtonGroup(new QButtonGroup(this))
    , m_pLabelFilter(new QLabel(this))
    , m_pEditFilter(new QLineEdit(this))
    , m_pComboFilter(new QComboBox(this))
    , m_pLabelProtocol(new QLabel(this))
    , m_pComboProtocol(new QComboBox(this))
{
    for (int i = 0; i < ButtonCount; ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("PageTabButton"));
        button->setCheckable(true);
        m_pButtonGroup->addButton(button, i);
        m_pageButtons[i] = button;
    }
    m_pButtonGroup->setExclusive(true);
    m_pageButtons[ButtonSearch]->setChecked(true);

    m_pLabelFilter->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pEditFilter->setFixedSize(100, 25);
    m_pComboFilter->setFixedHeight(25);
    m_pComboFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_pLabelProtocol->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pComboProtocol->setFixedHeight(25);
    m_pComboProtocol->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    if (Company() == 10) {
        m_pEditFilter->setObjectName(QStringLiteral("ToolBarEdit"));
        m_pComboFilter->setObjectName(QStringLiteral("ToolBarCombox"));
    }

    BuildRow();
    SetButtonSizes();

    for (int i = 0; i < ButtonCount; ++i)
        connect(m_pageButtons[i], &QPushButton::clicked, this, kButtons[i].request);
    connect(m_pComboFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        &ToolBarFrame::FilterIndexChangedRequest);
    connect(m_pEditFilter, &QLineEdit::textChanged, this, &ToolBarFrame::FilterTextChangedRequest);
    connect(m_pComboProtocol, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        &ToolBarFrame::ProtocolIndexChangedRequest);
    connect(m_pComboProtocol, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        &ToolBarFrame::FilterItemChangedRequest);

    RetranslateTexts();
    ZVAppSetting::Instance()->AddLanguageListener(this);
}

ToolBarFrame::~ToolBarFrame()
{
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

void ToolBarFrame::BuildRow()
{
    const CompanyCode code = Company();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 10, 0, 0);
    row->addWidget(m_pageButtons[ButtonSearch]);
    row->addSpacing(10);
    row->addWidget(m_pageButtons[ButtonUpgrade]);
    row->addSpacing(10);
    row->addWidget(m_pageButtons[ButtonConfig]);

    const QVector<PageButton> further = FurtherButtons(code);
    for (PageButton which : further) {
        // Customer 40 keeps its two buttons together, followed by the spacing.
        if (!(code == 40 && which == ButtonChangeDevice))
            row->addSpacing(10);
        row->addWidget(m_pageButtons[which]);
    }
    if (code == 40)
        row->addSpacing(10);
    for (int i = ButtonDeviceInfo; i < ButtonCount; ++i) {
        if (!further.contains(static_cast<PageButton>(i)))
            m_pageButtons[i]->hide();
    }

    row->addStretch();
    row->addWidget(m_pLabelProtocol);
    row->addWidget(m_pComboProtocol);
    row->addSpacing(10);
    row->addWidget(m_pLabelFilter);
    row->addWidget(m_pEditFilter);
    row->addWidget(m_pComboFilter);
    if (!ShowsProtocol(code)) {
        m_pLabelProtocol->hide();
        m_pComboProtocol->hide();
    }
}

void ToolBarFrame::SetButtonSizes()
{
    const CompanyCode code = Company();
    QVector<PageButton> bounded;
    int minimum = 120;
    int maximum = 120;
    switch (code) {
    case 0:
        bounded = { ButtonSearch, ButtonUpgrade, ButtonConfig, ButtonRecoveryDevice, ButtonImportExport,
            ButtonChangePassword, ButtonStreamConfig, ButtonOSDConfig, ButtonRebootDevice, ButtonChangeDevice };
        minimum = 85;
        maximum = 110;
        break;
    case 38:
        bounded = { ButtonSearch, ButtonUpgrade, ButtonConfig, ButtonChangePassword, ButtonStreamConfig,
            ButtonOSDConfig, ButtonExportExcel };
        minimum = 95;
        maximum = 122;
        break;
    case 43:
    case 44:
        for (int i = 0; i < ButtonCount; ++i) {
            if (i != ButtonRecoveryDevice && i != ButtonChangeDevice)
                bounded.append(static_cast<PageButton>(i));
        }
        minimum = 85;
        maximum = 100;
        break;
    case 45:
        bounded = { ButtonSearch, ButtonUpgrade, ButtonConfig, ButtonRecoveryDevice, ButtonImportExport,
            ButtonChangePassword, ButtonStreamConfig, ButtonOSDConfig };
        minimum = 108;
        maximum = 160;
        break;
    default:
        for (int i = 0; i < ButtonCount; ++i)
            bounded.append(static_cast<PageButton>(i));
        break;
    }
    for (int i = 0; i < ButtonCount; ++i)
        m_pageButtons[i]->setFixedHeight(38);
    for (PageButton which : qAsConst(bounded)) {
        m_pageButtons[which]->setMinimumWidth(minimum);
        m_pageButtons[which]->setMaximumWidth(maximum);
    }
    for (int i = 0; i < ButtonCount; ++i)
        m_maximumWidths[i] = m_pageButtons[i]->maximumWidth();
}

void ToolBarFrame::FitTexts()
{
    // No text is cut off: a button, or the protocol combo, too narrow for its
    // text in the current language grows to fit it.
    for (int i = 0; i < ButtonCount; ++i) {
        QPushButton* button = m_pageButtons[i];
        button->ensurePolished();
        const int needed = button->fontMetrics().horizontalAdvance(button->text()) + 12;
        button->setMaximumWidth(qMax(m_maximumWidths[i], needed));
    }
    const CompanyCode code = Company();
    if ((code == 20 || code == 42) && ZVAppSetting::Instance()->m_currentLanguage != 2) {
        m_pComboProtocol->ensurePolished();
        const QFontMetrics metrics = m_pComboProtocol->fontMetrics();
        const int text
            = qMax(metrics.horizontalAdvance(LanguageText(137)), metrics.horizontalAdvance(LanguageText(138)));
        // Padding, frame and the drop-down arrow beside the text.
        m_pComboProtocol->setFixedWidth(qMax(105, text + 2 * 4 + 2 + 20 + 6));
    }
}

void ToolBarFrame::RetranslateTexts()
{
    const CompanyCode code = Company();
    for (int i = 0; i < ButtonCount; ++i) {
        m_pageButtons[i]->setText(LanguageText(kButtons[i].text));
        m_pageButtons[i]->setToolTip(LanguageText(kButtons[i].text));
    }
    if (code == 40) {
        for (PageButton which : { ButtonSearch, ButtonUpgrade, ButtonConfig, ButtonRecoveryDevice, ButtonChangeDevice })
            m_pageButtons[which]->setStyleSheet(QStringLiteral("QPushButton{ font: bold;}"));
    }
    m_pLabelFilter->setText(LanguageText(14));

    // The selection survives, and a language change is no filter change.
    const int filterIndex = m_pComboFilter->currentIndex();
    if (filterIndex < 0) {
        FilterItemChangedRequest();
        m_pComboFilter->setCurrentIndex(0);
    } else {
        const QSignalBlocker blocker(m_pComboFilter);
        FilterItemChangedRequest();
        m_pComboFilter->setCurrentIndex(qMin(filterIndex, m_pComboFilter->count() - 1));
    }

    if (code == 20 || code == 42) {
        if (ZVAppSetting::Instance()->m_currentLanguage == 2) {
            m_pComboProtocol->setMinimumWidth(120);
            m_pComboProtocol->setMaximumWidth(QWIDGETSIZE_MAX);
        } else {
            m_pComboProtocol->setFixedWidth(105);
        }
    }
    m_pLabelProtocol->setText(LanguageText(136));
    FitTexts();

    const int protocolIndex = m_pComboProtocol->currentIndex();
    {
        const QSignalBlocker blocker(protocolIndex >= 0 ? m_pComboProtocol : nullptr);
        m_pComboProtocol->clear();
        m_pComboProtocol->addItem(LanguageText(137));
        m_pComboProtocol->addItem(LanguageText(138));
        m_pComboProtocol->setCurrentIndex(protocolIndex < 0 ? 0 : protocolIndex);
    }
}

void ToolBarFrame::FilterItemChangedRequest()
{
    const CompanyCode code = Company();
    m_pComboFilter->clear();
    m_pComboFilter->addItem(LanguageText(32), 1);
    if (m_pComboProtocol->currentIndex() == 0) {
        if (!IsHttpApiCompany(code))
            m_pComboFilter->addItem(LanguageText(33), 2);
        if (code != 40)
            m_pComboFilter->addItem(LanguageText(34), 3);
    }
}

void ToolBarFrame::RefillFilterCombo(bool streamMode)
{
    if (!streamMode) {
        FilterItemChangedRequest();
        return;
    }
    m_pComboFilter->clear();
    m_pComboFilter->addItem(LanguageText(32), 1);
    if (m_pComboProtocol->currentIndex() == 0)
        m_pComboFilter->addItem(LanguageText(34), 3);
}

int ToolBarFrame::GetFilterColumn() const
{
    const int index = m_pComboFilter->currentIndex();
    if (index < 0)
        return 0;
    int column = index + 1;
    // The search table has one more column before the one of the third item.
    if (IsShownAndChecked(ButtonSearch) && index == 2)
        column = 4;
    if (UsesHttpApi() && column == 2)
        column = 3;
    return column;
}

void ToolBarFrame::SetControlsEnabled(bool enabled)
{
    for (QPushButton* button : m_pageButtons)
        button->setEnabled(enabled);
    m_pEditFilter->setEnabled(enabled);
    m_pComboFilter->setEnabled(enabled);
    m_pComboProtocol->setEnabled(enabled);
}

void ToolBarFrame::HoldLock(const QObject* page, bool held)
{
    if (held)
        m_lockHolders.insert(page);
    else
        m_lockHolders.remove(page);
}

bool ToolBarFrame::IsLockedByOther(const QObject* page) const
{
    for (const QObject* holder : m_lockHolders) {
        if (holder != page)
            return true;
    }
    return false;
}

void ToolBarFrame::SetPageButtonsVisible(bool visible)
{
    m_pageButtons[ButtonUpgrade]->setVisible(visible);
    m_pageButtons[ButtonConfig]->setVisible(visible);
    for (PageButton which : FurtherButtons(Company())) {
        if (which != ButtonExtranetSearch)
            m_pageButtons[which]->setVisible(visible);
    }
}

bool ToolBarFrame::IsShownAndChecked(PageButton which) const
{
    const QPushButton* button = m_pageButtons[which];
    return button->isVisibleTo(this) && button->isChecked();
}

QString ToolBarFrame::FilterText() const
{
    return m_pEditFilter->text();
}

void ToolBarFrame::customEvent(QEvent* event)
{
    if (event->type() == LanguageChangedEvent::EventType)
        RetranslateTexts();
}
