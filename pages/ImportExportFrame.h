#pragma once

#include "ExportPath.h"
#include "OperationPage.h"

class QFrame;
class QLabel;
class QPushButton;

// The import/export page (page 4, table kind 3): saves the parameters of one
// ticked device to a file, and loads a parameter file into the ticked devices
// whose name the file carries.
class ImportExportFrame : public OperationPage
{
    Q_OBJECT

public:
    explicit ImportExportFrame(QWidget* parent = nullptr);
    ~ImportExportFrame() override;

    // Whether the parameter file at path is named for the device: its name
    // less the last four characters (the extension) is the device's name.
    static bool FileBelongsTo(const QString& path, const QString& deviceName);

public slots:
    void OnClickExport();
    void OnClickImport();

protected:
    void SetActionsEnabled(bool enabled) override;
    void RetranslateTexts() override;

private:
    void BuildForm();
    // Where the export saves: the save question, on the GUI thread.
    QString AskExportFile(const QString& suggestedName);

    CheckBoxTableView* m_pDeviceTableView;
    QFrame* m_pBottom;
    QLabel* m_pLabelUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLabelPassword;
    LineEdit* m_pEditPassword;
    QPushButton* m_pBtnExport;
    QPushButton* m_pBtnImport;
    ExportPathQuestion m_previousQuestion;
};
