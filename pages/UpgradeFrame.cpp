#include "UpgradeFrame.h"

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceTasks.h"
#include "DeviceWebPage.h"
#include "FileDialogs.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>

namespace
{
const char* const kDialogFrameStyle = "border:1px solid rgb(134, 134, 134);";
} // namespace

UpgradeFrame::UpgradeFrame(QWidget* parent)
    : OperationPage(parent, PageEvents::WorkFinishedEvent, TableKindUpgrade, &DeviceInfo::m_pUpgradeFrame, true)
{
    BuildForm();
    PrefillLogin(m_pEditUserName, m_pEditPassword, 16);
    SetupTable(m_pDeviceTableView);
    ApplyCustomerLayout();

    connect(m_pBtnOpenFile, &QPushButton::clicked, this, &UpgradeFrame::OnClickOpenFile);
    connect(m_pBtnUpgrade, &QPushButton::clicked, this, &UpgradeFrame::OnClickUpgrade);
    connect(m_pBtnDefault, &QPushButton::clicked, this, &UpgradeFrame::OnClickDefault);
    // The query and match buttons are bound by name.
    QMetaObject::connectSlotsByName(this);
    RetranslateTexts();
}

void UpgradeFrame::BuildForm()
{
    setObjectName(QStringLiteral("UpgradeFrame"));
    resize(1135, 404);
    m_pDeviceTableView = CreateTableAndBottomBar(&m_pBottom, &m_pBottomLayout);

    auto label = [this](const char* name) {
        auto* widget = new QLabel(m_pBottom);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumHeight(25);
        widget->setMaximumWidth(120);
        m_pBottomLayout->addWidget(widget);
        return widget;
    };
    auto edit = [this](const char* name, int maxWidth) {
        auto* widget = new LineEdit(m_pBottom);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumHeight(25);
        widget->setMaximumWidth(maxWidth);
        m_pBottomLayout->addWidget(widget);
        return widget;
    };
    auto button = [this](const char* name) {
        auto* widget = new QPushButton(m_pBottom);
        widget->setObjectName(QLatin1String(name));
        widget->setMinimumHeight(25);
        return widget;
    };
    m_pLabelFile = label("m_pLabelFile");
    m_pEditFilePath = edit("m_pEditFilePath", QWIDGETSIZE_MAX);
    m_pEditFilePath->setMinimumWidth(120);
    m_pBtnOpenFile = button("m_pBtnOpenFile");
    m_pBottomLayout->addWidget(m_pBtnOpenFile);
    m_pLabelUserName = label("m_pLabelUserName");
    m_pEditUserName = edit("m_pEditUserName", 80);
    m_pLabelPassword = label("m_pLabelPassword");
    m_pEditPassword = edit("m_pEditPassword", 80);
    m_pLabelVersion = label("m_pLabelVersion");
    m_pEditVersion = edit("m_pEditVersion", 80);
    m_pBottomLayout->addItem(new QSpacerItem(20, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnDefault = button("m_pBtnDefault");
    m_pBtnMatch = button("m_pBtnMatch");
    m_pBtnUpgrade = button("m_pBtnUpgrade");
    m_pBtnQuery = button("m_pBtnQuery");
    for (QPushButton* widget : { m_pBtnDefault, m_pBtnMatch, m_pBtnUpgrade, m_pBtnQuery })
        m_pBottomLayout->addWidget(widget);
}

void UpgradeFrame::ApplyCustomerLayout()
{
    const CompanyCode code = Company();
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 100);
    m_pDeviceTableView->setColumnWidth(3, 135);
    m_pDeviceTableView->setColumnWidth(4, code == 45 ? 165 : 135);
    m_pDeviceTableView->setColumnWidth(5, 150);
    if (code == 20 || code == 42)
        m_pDeviceTableView->setColumnWidth(6, 150);
    if (code != 13) {
        // Found by their headers: the columns move with each code's list.
        for (TextId id : { 142, 145 }) {
            const int column = m_pModel->columnOfHeader(id);
            if (column >= 0)
                m_pDeviceTableView->setColumnHidden(column, true);
        }
    }
    if (code == 34) {
        m_pDeviceTableView->setColumnWidth(2, 500);
        m_pDeviceTableView->setColumnWidth(6, 300);
    }
    if (code != 13) {
        m_pBtnQuery->hide();
        m_pBtnMatch->hide();
        m_pLabelVersion->hide();
        m_pEditVersion->hide();
    }
    if (code != 36)
        m_pBtnDefault->hide();
}

void UpgradeFrame::RetranslateTexts()
{
    m_pLabelFile->setText(LanguageText(48));
    m_pBtnOpenFile->setText(LanguageText(49));
    m_pBtnUpgrade->setText(LanguageText(11));
    m_pLabelUserName->setText(LanguageText(12));
    m_pLabelPassword->setText(LanguageText(13));
    m_pBtnQuery->setText(LanguageText(139));
    m_pLabelVersion->setText(LanguageText(143));
    m_pBtnMatch->setText(LanguageText(144));
    m_pBtnDefault->setText(LanguageText(63));
    FitButtons({ m_pBtnOpenFile, m_pBtnUpgrade, m_pBtnQuery, m_pBtnMatch, m_pBtnDefault });
    FitLabels({ m_pLabelFile, m_pLabelUserName, m_pLabelPassword, m_pLabelVersion }, 120);
}

void UpgradeFrame::SetActionsEnabled(bool enabled)
{
    for (QWidget* widget : { static_cast<QWidget*>(m_pEditFilePath), static_cast<QWidget*>(m_pBtnOpenFile),
             static_cast<QWidget*>(m_pBtnUpgrade), static_cast<QWidget*>(m_pBtnQuery) })
        widget->setEnabled(enabled);
}

void UpgradeFrame::SetFilterColumn(int column)
{
    // Code 34's table has the status column second: the later columns shift.
    if (Company() == 34 && column > 1)
        ++column;
    OperationPage::SetFilterColumn(column);
}

void UpgradeFrame::OnClickOpenFile()
{
    m_pEditFilePath->setText(FileDialogs::GetOpenFileName(
        this, LanguageText(53), QString(), LanguageText(52) + QStringLiteral("(*.sw*  *.SW*)")));
}

void UpgradeFrame::RunTimedBatch(const QList<DeviceInfo*>& devices, void (*task)(void*), const QString& firmwarePath)
{
    SetBusyDevices(devices);
    BeginBatch(devices, true);
    PrepareDevices(devices, m_pEditUserName->text(), m_pEditPassword->text(), [&firmwarePath](DeviceInfo* device) {
        if (!firmwarePath.isNull())
            device->m_upgradeFilePath = firmwarePath;
    });
    QueueDevices(task, devices);
    StartBusyTimer();
}

void UpgradeFrame::OnClickUpgrade()
{
    const QString path = m_pEditFilePath->text();
    if (!QFileInfo::exists(path)) {
        ShowQuery(50, 6, QLatin1String(kDialogFrameStyle));
        return;
    }
    QList<DeviceInfo*> devices;
    if (StartAction(6, &devices, true, QLatin1String(kDialogFrameStyle)))
        RunTimedBatch(devices, &UpgradeTask, path);
}

void UpgradeFrame::OnClickDefault()
{
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices))
        return;
    // No busy poll: the page comes back through the done event.
    BeginBatch(devices, true);
    PrepareDevices(devices, m_pEditUserName->text(), m_pEditPassword->text());
    QueueDevices(&DefaultTask, devices);
}

void UpgradeFrame::on_m_pBtnQuery_clicked()
{
    QList<DeviceInfo*> devices;
    if (StartAction(110, &devices, true))
        RunTimedBatch(devices, &QueryVersionTask, QString());
}

void UpgradeFrame::on_m_pBtnMatch_clicked()
{
    const QString version = m_pEditVersion->text();
    if (version.isEmpty()) {
        ShowRefusal(148, 110);
        return;
    }
    QList<DeviceInfo*> devices;
    if (!StartAction(110, &devices))
        return;
    // Nothing is locked: a match can be started again at once.
    SetWorkingDevices(devices);
    PrepareDevices(devices, m_pEditUserName->text(), m_pEditPassword->text(),
        [&version](DeviceInfo* device) { device->m_matchVersion = version; });
    QueueDevices(&MatchVersionTask, devices);
}

void UpgradeFrame::onClickTableView(const QModelIndex& index)
{
    DeviceInfo* device = m_pModel->deviceAt(index);
    if (!device) {
        m_pEditVersion->clear();
        return;
    }
    m_pEditVersion->setText(device->m_deviceVersionText);
    if (index.column() != 1)
        return;
    const CompanyCode code = Company();
    const bool https = code == 20 || code == 42;
    const QString verb = code == 0 ? QStringLiteral("runas") : QString();
    OpenDeviceWebPage(device->Ip(), static_cast<quint16>(device->m_searchRsp.webPort), https, verb);
}
