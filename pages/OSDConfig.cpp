#include "OSDConfig.h"

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceTasks.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "ZVAppSetting.h"

#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QSlider>
#include <QVBoxLayout>

namespace
{
constexpr int kMaxX = 486;
constexpr int kMaxY = 551;
constexpr int kWideFrom = 1420;
constexpr int kNameUnits = 31;
constexpr int kNameWeight = 31;

bool IsWeighedIdeograph(QChar c)
{
    return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FA5;
}

void RemoveFrom(QLayout* layout, const QList<QWidget*>& widgets)
{
    for (QWidget* widget : widgets)
        layout->removeWidget(widget);
}

// A position as the query leaves it in the device ("x,y") into its two edits;
// another text leaves them as they are.
void ShowPosition(const QString& position, QLineEdit* xEdit, QLineEdit* yEdit)
{
    const QStringList parts = position.split(QLatin1Char(','));
    bool xOk = false;
    bool yOk = false;
    const int x = parts.size() == 2 ? parts.at(0).toInt(&xOk) : 0;
    const int y = parts.size() == 2 ? parts.at(1).toInt(&yOk) : 0;
    if (!xOk || !yOk)
        return;
    xEdit->setText(QString::number(x));
    yEdit->setText(QString::number(y));
}
} // namespace

OSDConfig::OSDConfig(QWidget* parent)
    : OperationPage(parent, PageEvents::WorkFinishedEvent, TableKindOsdConfig, &DeviceInfo::m_pOSDConfig, true)
{
    BuildForm();
    PrefillLogin(m_pEditUserName, m_pEditPassword, 16);
    for (QLineEdit* edit : { m_pEditXvalue, m_pEditYValue, m_pEditDateXvalue, m_pEditdateYValue })
        edit->setMaxLength(4);
    m_SldX->setRange(0, kMaxX);
    m_SldY->setRange(0, kMaxY);
    m_SldDateX->setRange(0, kMaxX);
    m_SldDateY->setRange(0, kMaxY);

    SetupTable(m_pDeviceTableView);
    const bool wideCodes = Company() == 45;
    const std::pair<int, int> widths[] = { { 0, 80 }, { 2, 150 }, { 4, wideCodes ? 165 : 130 }, { 5, 150 }, { 6, 150 },
        { 7, wideCodes ? 180 : 150 }, { 8, 180 }, { 9, 150 } };
    for (const auto& [column, width] : widths)
        m_pDeviceTableView->setColumnWidth(column, width);

    auto* userLayout = new QVBoxLayout(m_pGroupUserInfo);
    m_loginRow = new QHBoxLayout;
    m_loginGrid = new QGridLayout;
    userLayout->addLayout(m_loginRow);
    userLayout->addLayout(m_loginGrid);
    auto* osdLayout = new QVBoxLayout(m_pGroupOSDInfo);
    m_osdRow = new QHBoxLayout;
    m_osdGrid = new QGridLayout;
    osdLayout->addLayout(m_osdRow);
    osdLayout->addLayout(m_osdGrid);

    connect(m_pBtnSet, &QPushButton::clicked, this, &OSDConfig::OnClickSet);
    connect(m_pBtnQuery, &QPushButton::clicked, this, &OSDConfig::OnClickQuery);
    connect(m_SldX, &QSlider::valueChanged, this, &OSDConfig::OnSetXValue);
    connect(m_SldY, &QSlider::valueChanged, this, &OSDConfig::OnSetYValue);
    connect(m_SldDateX, &QSlider::valueChanged, this, &OSDConfig::OnSetDateXValue);
    connect(m_SldDateY, &QSlider::valueChanged, this, &OSDConfig::OnSetDateYValue);
    connect(m_pEditXvalue, &QLineEdit::textChanged, this, &OSDConfig::OnSetSldX);
    connect(m_pEditYValue, &QLineEdit::textChanged, this, &OSDConfig::OnSetSldY);
    connect(m_pEditDateXvalue, &QLineEdit::textChanged, this, &OSDConfig::OnSetDateSldX);
    connect(m_pEditdateYValue, &QLineEdit::textChanged, this, &OSDConfig::OnSetDateSldY);
    connect(m_pEditChnName, &QLineEdit::textEdited, this, &OSDConfig::CheckChannelName);

    RetranslateTexts();
    // The wide arrangement until the first resize picks a mode.
    SetWideLayout();
}

void OSDConfig::BuildForm()
{
    setObjectName(QStringLiteral("OSDConfig"));
    resize(1420, 404);
    QVBoxLayout* layout = CreatePageLayout();
    layout->setObjectName(QStringLiteral("verticalLayout_3"));
    m_pDeviceTableView = new CheckBoxTableView(this);
    m_pDeviceTableView->setObjectName(QStringLiteral("m_pDeviceTableView"));
    layout->addWidget(m_pDeviceTableView);
    m_pFrameButton = new QFrame(this);
    m_pFrameButton->setObjectName(QStringLiteral("OSDConfigFrameButton"));
    layout->addWidget(m_pFrameButton);
    auto* bottomLayout = new QHBoxLayout(m_pFrameButton);
    bottomLayout->setObjectName(QStringLiteral("horizontalLayout"));

    m_pGroupUserInfo = new QGroupBox(m_pFrameButton);
    m_pGroupUserInfo->setObjectName(QStringLiteral("m_pGroupUserInfo"));
    m_pGroupOSDInfo = new QGroupBox(m_pFrameButton);
    m_pGroupOSDInfo->setObjectName(QStringLiteral("m_pGroupOSDInfo"));
    bottomLayout->addWidget(m_pGroupUserInfo);
    bottomLayout->addWidget(m_pGroupOSDInfo, 1);

    auto label = [](QGroupBox* group, const char* name) {
        auto* widget = new QLabel(group);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumHeight(25);
        return widget;
    };
    auto edit = [](auto* widget, const char* name, int width) {
        widget->setObjectName(QLatin1String(name));
        widget->setFixedSize(width, 25);
        return widget;
    };
    auto slider = [](QGroupBox* group, const char* name) {
        auto* widget = new QSlider(Qt::Horizontal, group);
        widget->setObjectName(QLatin1String(name));
        // Narrow enough that the wide row fits well below the switch width.
        widget->setMinimumWidth(40);
        return widget;
    };
    m_pLabUserName = label(m_pGroupUserInfo, "m_pLabUserName");
    m_pEditUserName = edit(new LineEdit(m_pGroupUserInfo), "m_pEditUserName", 80);
    m_pLabPassword = label(m_pGroupUserInfo, "m_pLabPassword");
    m_pEditPassword = edit(new LineEdit(m_pGroupUserInfo), "m_pEditPassword", 80);

    m_pLabChnName = label(m_pGroupOSDInfo, "m_pLabChnName");
    m_pEditChnName = edit(new QLineEdit(m_pGroupOSDInfo), "m_pEditChnName", 120);
    m_pLabX = label(m_pGroupOSDInfo, "m_pLabX");
    m_pEditXvalue = edit(new QLineEdit(m_pGroupOSDInfo), "m_pEditXvalue", 45);
    m_SldX = slider(m_pGroupOSDInfo, "m_SldX");
    m_pLabY = label(m_pGroupOSDInfo, "m_pLabY");
    m_pEditYValue = edit(new QLineEdit(m_pGroupOSDInfo), "m_pEditYValue", 45);
    m_SldY = slider(m_pGroupOSDInfo, "m_SldY");
    m_pLabDateX = label(m_pGroupOSDInfo, "m_pLabDateX");
    m_pEditDateXvalue = edit(new QLineEdit(m_pGroupOSDInfo), "m_pEditDateXvalue", 45);
    m_SldDateX = slider(m_pGroupOSDInfo, "m_SldDateX");
    m_pLabdateY = label(m_pGroupOSDInfo, "m_pLabdateY");
    m_pEditdateYValue = edit(new QLineEdit(m_pGroupOSDInfo), "m_pEditdateYValue", 45);
    m_SldDateY = slider(m_pGroupOSDInfo, "m_SldDateY");

    auto* buttons = new QVBoxLayout;
    buttons->setObjectName(QStringLiteral("verticalLayout_2"));
    bottomLayout->addLayout(buttons);
    m_pBtnQuery = new QPushButton(m_pFrameButton);
    m_pBtnQuery->setObjectName(QStringLiteral("m_pBtnQuery"));
    m_pBtnQuery->setMinimumHeight(25);
    buttons->addWidget(m_pBtnQuery);
    m_pBtnSet = new QPushButton(m_pFrameButton);
    m_pBtnSet->setObjectName(QStringLiteral("m_pBtnSet"));
    m_pBtnSet->setMinimumHeight(25);
    buttons->addWidget(m_pBtnSet);
}

void OSDConfig::RetranslateTexts()
{
    m_pLabUserName->setText(LanguageText(12));
    m_pLabPassword->setText(LanguageText(13));
    m_pBtnSet->setText(LanguageText(64));
    m_pBtnQuery->setText(LanguageText(139));
    m_pLabX->setText(QStringLiteral("ChnX:"));
    m_pLabY->setText(QStringLiteral("ChnY:"));
    m_pLabDateX->setText(QStringLiteral("DateX:"));
    m_pLabdateY->setText(QStringLiteral("DateY:"));
    // Each edit moves its slider back to 0 with it.
    for (QLineEdit* edit : { m_pEditXvalue, m_pEditYValue, m_pEditDateXvalue, m_pEditdateYValue })
        edit->setText(QStringLiteral("0"));
    m_pLabChnName->setText(LanguageText(182));
    m_pGroupUserInfo->setTitle(LanguageText(46));
    m_pGroupOSDInfo->setTitle(LanguageText(185));
    FitButtons({ m_pBtnQuery, m_pBtnSet });
}

void OSDConfig::TakeBottomWidgets()
{
    const QList<QWidget*> login = { m_pLabUserName, m_pEditUserName, m_pLabPassword, m_pEditPassword };
    RemoveFrom(m_loginRow, login);
    RemoveFrom(m_loginGrid, login);
    const QList<QWidget*> osd = { m_pLabChnName, m_pEditChnName, m_pLabX, m_pEditXvalue, m_SldX, m_pLabY, m_pEditYValue,
        m_SldY, m_pLabDateX, m_pEditDateXvalue, m_SldDateX, m_pLabdateY, m_pEditdateYValue, m_SldDateY };
    RemoveFrom(m_osdRow, osd);
    RemoveFrom(m_osdGrid, osd);
}

void OSDConfig::SetWideLayout()
{
    TakeBottomWidgets();
    for (QWidget* widget : { static_cast<QWidget*>(m_pLabUserName), static_cast<QWidget*>(m_pEditUserName),
             static_cast<QWidget*>(m_pLabPassword), static_cast<QWidget*>(m_pEditPassword) })
        m_loginRow->addWidget(widget);
    for (QWidget* widget : { static_cast<QWidget*>(m_pLabChnName), static_cast<QWidget*>(m_pEditChnName),
             static_cast<QWidget*>(m_pLabX), static_cast<QWidget*>(m_pEditXvalue), static_cast<QWidget*>(m_SldX),
             static_cast<QWidget*>(m_pLabY), static_cast<QWidget*>(m_pEditYValue), static_cast<QWidget*>(m_SldY),
             static_cast<QWidget*>(m_pLabDateX), static_cast<QWidget*>(m_pEditDateXvalue),
             static_cast<QWidget*>(m_SldDateX), static_cast<QWidget*>(m_pLabdateY),
             static_cast<QWidget*>(m_pEditdateYValue), static_cast<QWidget*>(m_SldDateY) })
        m_osdRow->addWidget(widget);
}

void OSDConfig::SetCompactLayout()
{
    TakeBottomWidgets();
    m_loginGrid->addWidget(m_pLabUserName, 0, 0);
    m_loginGrid->addWidget(m_pEditUserName, 0, 1);
    m_loginGrid->addWidget(m_pLabPassword, 1, 0);
    m_loginGrid->addWidget(m_pEditPassword, 1, 1);
    QWidget* const firstRow[]
        = { m_pLabChnName, m_pEditChnName, m_pLabX, m_pEditXvalue, m_SldX, m_pLabY, m_pEditYValue, m_SldY };
    for (int column = 0; column < 8; ++column)
        m_osdGrid->addWidget(firstRow[column], 0, column);
    QWidget* const secondRow[]
        = { m_pLabDateX, m_pEditDateXvalue, m_SldDateX, m_pLabdateY, m_pEditdateYValue, m_SldDateY };
    for (int column = 0; column < 6; ++column)
        m_osdGrid->addWidget(secondRow[column], 1, column + 2);
}

void OSDConfig::resizeEvent(QResizeEvent* event)
{
    OperationPage::resizeEvent(event);
    const int mode = event->size().width() < kWideFrom ? 1 : 0;
    if (mode == m_layoutMode)
        return;
    m_layoutMode = mode;
    if (mode == 1)
        SetCompactLayout();
    else
        SetWideLayout();
}

void OSDConfig::SetFilterColumn(int column)
{
    DevicePage::SetFilterColumn(column);
    if (m_pModel && m_pModel->proxyModel())
        m_pModel->setFilterColumn(column);
}

void OSDConfig::SetFilterText(const QString& text)
{
    DevicePage::SetFilterText(text);
    if (m_pModel && m_pModel->proxyModel())
        m_pModel->setFilterText(text);
}

void OSDConfig::RefreshDeviceList()
{
    m_pPanelSource = nullptr;
    OperationPage::RefreshDeviceList();
}

void OSDConfig::ClearDeviceList()
{
    m_pPanelSource = nullptr;
    OperationPage::ClearDeviceList();
}

void OSDConfig::OnDeviceTaskFinished(DeviceInfo* device, bool finished)
{
    if (!OnPageThread([this, device, finished] { OnDeviceTaskFinished(device, finished); }))
        return;
    // The workers report their end without finishing (the busy poll unlocks
    // the page): the status tells the query's end.
    if (device == m_pPanelSource && device->m_status == StatusQueryOk) {
        m_pPanelSource = nullptr;
        FillPanel(device);
    }
    OperationPage::OnDeviceTaskFinished(device, finished);
}

void OSDConfig::FillPanel(const DeviceInfo* device)
{
    // Each edit moves its slider, and a value beyond the slider's range is
    // shown as the range's end, as typed values are.
    ShowPosition(device->m_osdNamePos, m_pEditXvalue, m_pEditYValue);
    ShowPosition(device->m_osdDatePos, m_pEditDateXvalue, m_pEditdateYValue);
    m_pEditChnName->setText(device->m_osdChannelName);
}

void OSDConfig::SetActionsEnabled(bool enabled)
{
    m_pBtnSet->setEnabled(enabled);
    m_pBtnQuery->setEnabled(enabled);
}

void OSDConfig::SliderToEdit(QLineEdit* edit, int value)
{
    edit->setText(QString::number(value));
}

void OSDConfig::EditToSlider(QLineEdit* edit, QSlider* slider, int max)
{
    // Only the digits 0-9 count: QRegularExpression's \d is ASCII, and a
    // digit of another script would read as a number the edit does not show.
    static const QRegularExpression digitsOnly(QStringLiteral("^\\d+$"));
    QString text = edit->text();
    if (!digitsOnly.match(text).hasMatch())
        text.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    const int value = text.toInt();
    const QString shown = value > max ? QString::number(max) : text;
    if (edit->text() != shown)
        edit->setText(shown);
    slider->setValue(value);
}

void OSDConfig::OnSetXValue(int value)
{
    SliderToEdit(m_pEditXvalue, value);
}

void OSDConfig::OnSetYValue(int value)
{
    SliderToEdit(m_pEditYValue, value);
}

void OSDConfig::OnSetSldX(const QString&)
{
    EditToSlider(m_pEditXvalue, m_SldX, kMaxX);
}

void OSDConfig::OnSetSldY(const QString&)
{
    EditToSlider(m_pEditYValue, m_SldY, kMaxY);
}

void OSDConfig::OnSetDateXValue(int value)
{
    SliderToEdit(m_pEditDateXvalue, value);
}

void OSDConfig::OnSetDateYValue(int value)
{
    SliderToEdit(m_pEditdateYValue, value);
}

void OSDConfig::OnSetDateSldX(const QString&)
{
    EditToSlider(m_pEditDateXvalue, m_SldDateX, kMaxX);
}

void OSDConfig::OnSetDateSldY(const QString&)
{
    EditToSlider(m_pEditdateYValue, m_SldDateY, kMaxY);
}

QString OSDConfig::CutChannelName(const QString& text)
{
    int length = qMin(text.size(), kNameUnits);
    int weight = 0;
    for (int i = 0; i < length; ++i) {
        weight += IsWeighedIdeograph(text.at(i)) ? 3 : 1;
        if (weight > kNameWeight) {
            length = i;
            break;
        }
    }
    // Half a surrogate pair is no character: the device would get a broken
    // sequence.
    if (length > 0 && length < text.size() && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

void OSDConfig::CheckChannelName(const QString& text)
{
    const QString name = CutChannelName(text);
    if (name != text)
        m_pEditChnName->setText(name);
}

void OSDConfig::OnClickQuery()
{
    QList<DeviceInfo*> devices;
    m_pPanelSource = nullptr;
    if (!StartAction(6, &devices, true))
        return;
    m_pPanelSource = devices.constFirst();
    SetBusyDevices(devices);
    BeginBatch(devices, true);
    PrepareDevices(devices, m_pEditUserName->text(), m_pEditPassword->text());
    QueueDevices(&QueryOsdTask, devices);
    StartBusyTimer();
}

void OSDConfig::OnClickSet()
{
    // One time for the whole batch, taken when the button is pressed.
    const QDateTime now = QDateTime::currentDateTime();
    QList<DeviceInfo*> devices;
    m_pPanelSource = nullptr;
    if (!StartAction(6, &devices, true))
        return;
    const int x = m_pEditXvalue->text().toInt();
    const int y = m_pEditYValue->text().toInt();
    const int dateX = m_pEditDateXvalue->text().toInt();
    const int dateY = m_pEditdateYValue->text().toInt();
    const QString name = m_pEditChnName->text();
    SetBusyDevices(devices);
    BeginBatch(devices, true);
    PrepareDevices(devices, m_pEditUserName->text(), m_pEditPassword->text(), [&](DeviceInfo* device) {
        device->SetOsdParams(x, y, dateX, dateY, name);
        device->SetDateTime(now);
    });
    QueueDevices(&SetOsdTask, devices);
    StartBusyTimer();
}
