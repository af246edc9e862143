#include "ImportExportFrame.h"

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "DeviceTasks.h"
#include "FileDialogs.h"
#include "LanguageTexts.h"
#include "LineEdit.h"
#include "PageEvents.h"
#include "ZVAppSetting.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpacerItem>
#include <QThread>

ImportExportFrame::ImportExportFrame(QWidget* parent)
    : OperationPage(
        parent, PageEvents::WorkFinishedEvent, TableKindImportExport, &DeviceInfo::m_pImportExportFrame, false)
{
    BuildForm();
    PrefillLogin(m_pEditUserName, m_pEditPassword, 16);
    SetupTable(m_pDeviceTableView);
    const bool code45 = Company() == 45;
    m_pDeviceTableView->setColumnWidth(0, 80);
    m_pDeviceTableView->setColumnWidth(2, 100);
    m_pDeviceTableView->setColumnWidth(4, code45 ? 165 : 130);
    m_pDeviceTableView->setColumnWidth(5, 150);

    connect(m_pBtnExport, &QPushButton::clicked, this, &ImportExportFrame::OnClickExport);
    connect(m_pBtnImport, &QPushButton::clicked, this, &ImportExportFrame::OnClickImport);
    QPointer<ImportExportFrame> self(this);
    m_previousQuestion = SetExportPathQuestion(
        [self](const QString& suggestedName) { return self ? self->AskExportFile(suggestedName) : QString(); });
    RetranslateTexts();
}

ImportExportFrame::~ImportExportFrame()
{
    SetExportPathQuestion(m_previousQuestion);
}

void ImportExportFrame::BuildForm()
{
    setObjectName(QStringLiteral("ImportExportFrame"));
    resize(824, 384);
    QHBoxLayout* bottom = nullptr;
    m_pDeviceTableView = CreateTableAndBottomBar(&m_pBottom, &bottom);

    m_pLabelUserName = new QLabel(m_pBottom);
    m_pLabelUserName->setObjectName(QStringLiteral("m_pLabelUserName"));
    m_pEditUserName = new LineEdit(m_pBottom);
    m_pEditUserName->setObjectName(QStringLiteral("m_pEditUserName"));
    m_pLabelPassword = new QLabel(m_pBottom);
    m_pLabelPassword->setObjectName(QStringLiteral("m_pLabelPassword"));
    m_pEditPassword = new LineEdit(m_pBottom);
    m_pEditPassword->setObjectName(QStringLiteral("m_pEditPassword"));
    m_pBtnExport = new QPushButton(m_pBottom);
    m_pBtnExport->setObjectName(QStringLiteral("m_pBtnExport"));
    m_pBtnImport = new QPushButton(m_pBottom);
    m_pBtnImport->setObjectName(QStringLiteral("m_pBtnImport"));
    for (QWidget* widget : { static_cast<QWidget*>(m_pLabelUserName), static_cast<QWidget*>(m_pEditUserName),
             static_cast<QWidget*>(m_pLabelPassword), static_cast<QWidget*>(m_pEditPassword) }) {
        widget->setMinimumHeight(25);
        widget->setMaximumWidth(120);
        bottom->addWidget(widget);
    }
    bottom->addItem(new QSpacerItem(20, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    for (QPushButton* button : { m_pBtnExport, m_pBtnImport }) {
        button->setMinimumHeight(25);
        bottom->addWidget(button);
    }
}

void ImportExportFrame::RetranslateTexts()
{
    m_pBtnExport->setText(LanguageText(113));
    m_pBtnImport->setText(LanguageText(114));
    m_pLabelUserName->setText(LanguageText(12));
    m_pLabelPassword->setText(LanguageText(13));
    FitButtons({ m_pBtnExport, m_pBtnImport });
}

void ImportExportFrame::SetActionsEnabled(bool enabled)
{
    m_pBtnExport->setEnabled(enabled);
    m_pBtnImport->setEnabled(enabled);
}

QString ImportExportFrame::AskExportFile(const QString& suggestedName)
{
    if (QThread::currentThread() != thread()) {
        // A dialog can only be shown on the GUI thread; asked from elsewhere,
        // the export is cancelled rather than the asking thread held.
        qWarning("export=== save question off the GUI thread: cancelled");
        return QString();
    }
    return FileDialogs::GetSaveFileName(this, LanguageText(115), suggestedName, QStringLiteral("Export File (*.txt)"));
}

bool ImportExportFrame::FileBelongsTo(const QString& path, const QString& deviceName)
{
    const QString name = QFileInfo(path).fileName();
    // A name shorter than the extension is compared whole.
    const QString base = name.size() >= 4 ? name.left(name.size() - 4) : name;
    return base == deviceName;
}

void ImportExportFrame::OnClickExport()
{
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices))
        return;
    BeginBatch(devices, true);
    if (devices.size() > 1) {
        ShowRefusal(120, 6);
        OnBatchFinished();
        return;
    }
    // The export asks for its file once the device is connected; the page is
    // free again at once. Its row changes when the result arrives.
    PrepareStatusAndLogin(devices.constFirst(), m_pEditUserName->text(), m_pEditPassword->text());
    QueueDevices(&ExportParamTask, devices);
    OnBatchFinished();
}

void ImportExportFrame::OnClickImport()
{
    const QString path = FileDialogs::GetOpenFileName(this, LanguageText(117), QDir::currentPath(), QString());
    if (!QFileInfo::exists(path))
        return;
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices))
        return;
    // Every name is checked before any device is touched: a refused import
    // leaves every row as it was.
    for (const DeviceInfo* device : qAsConst(devices)) {
        if (!FileBelongsTo(path, device->DeviceName())) {
            ShowQuery(119, 6);
            return;
        }
    }
    SetWorkingDevices(devices);
    PrepareDevices(devices, m_pEditUserName->text(), m_pEditPassword->text(),
        [&path](DeviceInfo* device) { device->m_importFilePath = path; });
    QueueDevices(&ImportParamTask, devices);
}
