#pragma once

#include "OperationPage.h"

#include <QStringList>
#include <QVariantList>
#include <QVector>

class QFrame;
class QLabel;
class QPushButton;

// The Excel export page (page 5, table kind 5): writes the ticked devices into
// an .xlsx workbook, one header row and one row per device. It talks to no
// device; the workbook is written off the GUI thread.
class ExportExcel : public OperationPage
{
    Q_OBJECT

public:
    // What a workbook shows: the header texts and one row of cells per device.
    struct Sheet
    {
        QStringList header;
        QVector<QVariantList> rows;
    };

    explicit ExportExcel(QWidget* parent = nullptr);

    // The sheet of the devices, in their order, in the current language and
    // customer code's layout. GUI thread.
    static Sheet SheetOf(const QList<DeviceInfo*>& devices);
    // Writes the sheet to the file; false when the workbook could not be saved.
    static bool ExportToFile(const QString& fileName, const Sheet& sheet);

public slots:
    void on_m_pBtnExcel_clicked();

protected:
    void RetranslateTexts() override;

private:
    void BuildForm();

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* m_pBottom;
    QLabel* m_lavelStatus;
    QPushButton* m_pBtnExcel;
    // The devices of the last export.
    QList<DeviceInfo*> m_devices;
};
