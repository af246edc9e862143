#include "ExportExcel.h"

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceInfo.h"
#include "FileDialogs.h"
#include "LanguageTexts.h"
#include "PageEvents.h"
#include "XlsxDocument.h"
#include "ZVAppSetting.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpacerItem>
#include <QtConcurrent>

namespace
{
// Columns A to L; the 11-column sheet keeps all twelve.
constexpr double kColumnWidths[] = { 15, 15, 15, 15, 30, 20, 30, 15, 15, 25, 15, 30 };
} // namespace

ExportExcel::ExportExcel(QWidget* parent)
    : OperationPage(parent, PageEvents::WorkFinishedEvent, TableKindExportExcel, &DeviceInfo::m_pExportExcel, false)
{
    BuildForm();
    SetupTable(m_pDeviceTableView);
    const int widths[] = { 80, -1, 100, 135, 135, 125, 145, 120, 120, 120, 120, 120 };
    for (int column = 0; column < 12; ++column) {
        if (widths[column] > 0)
            m_pDeviceTableView->setColumnWidth(column, widths[column]);
    }
    QMetaObject::connectSlotsByName(this);
    RetranslateTexts();
}

void ExportExcel::BuildForm()
{
    setObjectName(QStringLiteral("ExportExcel"));
    resize(829, 413);
    QHBoxLayout* bottom = nullptr;
    m_pDeviceTableView = CreateTableAndBottomBar(&m_pBottom, &bottom);
    m_lavelStatus = new QLabel(m_pBottom);
    m_lavelStatus->setObjectName(QStringLiteral("m_lavelStatus"));
    m_lavelStatus->setMinimumHeight(25);
    // Nothing is written to it: the rows show each device's result.
    m_lavelStatus->hide();
    bottom->addWidget(m_lavelStatus);
    bottom->addItem(new QSpacerItem(20, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pBtnExcel = new QPushButton(m_pBottom);
    m_pBtnExcel->setObjectName(QStringLiteral("m_pBtnExcel"));
    m_pBtnExcel->setMinimumHeight(25);
    bottom->addWidget(m_pBtnExcel);
}

void ExportExcel::RetranslateTexts()
{
    m_pBtnExcel->setText(LanguageText(168));
    FitButtons({ m_pBtnExcel });
}

ExportExcel::Sheet ExportExcel::SheetOf(const QList<DeviceInfo*>& devices)
{
    const bool mediaPort = !UsesHttpApi();
    Sheet sheet;
    for (int id : { 32, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127 }) {
        if (id != 33 || mediaPort)
            sheet.header << LanguageText(id);
    }
    sheet.rows.reserve(devices.size());
    for (const DeviceInfo* device : devices) {
        const SearchDevRsp& record = device->m_searchRsp;
        QVariantList row;
        row << device->Ip();
        if (mediaPort)
            row << static_cast<uint>(record.mediaPort);
        row << static_cast<uint>(record.webPort) << device->ChannelCount() << device->DeviceName()
            << device->DeviceType() << device->DeviceVersion() << device->Netmask() << device->Gateway()
            << device->Mac() << device->NetModeText() << device->P2pId();
        sheet.rows.append(row);
    }
    return sheet;
}

bool ExportExcel::ExportToFile(const QString& fileName, const Sheet& sheet)
{
    Xlsx::Document document;
    Xlsx::Format centred;
    centred.setHorizontalAlignment(Qt::AlignHCenter);
    centred.setVerticalAlignment(Qt::AlignVCenter);
    for (int column = 0; column < 12; ++column)
        document.setColumnWidth(column + 1, kColumnWidths[column]);
    for (int column = 0; column < sheet.header.size(); ++column)
        document.write(1, column + 1, sheet.header.at(column), Xlsx::Format());
    document.setRowFormat(1, centred);
    for (int index = 0; index < sheet.rows.size(); ++index) {
        const int row = index + 2;
        document.setRowFormat(row, centred);
        const QVariantList& cells = sheet.rows.at(index);
        for (int column = 0; column < cells.size(); ++column)
            document.write(row, column + 1, cells.at(column), Xlsx::Format());
    }
    return document.saveAs(fileName);
}

void ExportExcel::on_m_pBtnExcel_clicked()
{
    {
        QMutexLocker locker(&m_mutex);
        m_devices.clear();
    }
    QList<DeviceInfo*> devices;
    if (!StartAction(6, &devices))
        return;
    {
        QMutexLocker locker(&m_mutex);
        m_devices = devices;
    }
    const QString fileName
        = FileDialogs::GetSaveFileName(this, tr("SAVE EXCEL"), QString(), tr("Export Files (*.xlsx)"));
    if (fileName.isEmpty())
        return;

    // The job works on a copy of the rows as they stand now; the devices stay
    // alive (busy) until their statuses are set, back on the GUI thread.
    const Sheet sheet = SheetOf(devices);
    for (DeviceInfo* device : qAsConst(devices))
        device->AddBusy();
    QPointer<ExportExcel> page(this);
    QtConcurrent::run([fileName, sheet, devices, page] {
        const bool saved = ExportToFile(fileName, sheet);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [saved, devices, page] {
                for (DeviceInfo* device : devices) {
                    device->m_status = saved ? StatusExportOk : StatusExportFailed;
                    if (page)
                        page->RefreshRow(device);
                    device->ReleaseBusy();
                }
            },
            Qt::QueuedConnection);
    });
}
