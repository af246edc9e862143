#pragma once

#include "BaseDialog.h"

class QLabel;
class QPushButton;

// The content of every message of the program. Button mode 0: OK; 1: OK and
// Cancel; any other (callers use -1): no buttons, closed by the title bar only.
// Icon mode 0: information; 1: about logo; 2: warning; any other: none.
class ZVMessageBox : public BaseDialogFrame
{
    Q_OBJECT

public:
    ZVMessageBox(const QString& text, QWidget* parent, int buttonMode, int iconMode);

    // The usual way to show a message: the box inside a modal BaseDialog
    // titled title, both with parent as parent. Returns 0 for OK, -1 for
    // Cancel or the title bar's close button.
    static int ShowMessage(QWidget* parent, const QString& text, const QString& title, int buttonMode, int iconMode,
        const QString& dialogStyleSheet = QString());

    QString Text() const { return m_text; }
    int ButtonMode() const { return m_buttonMode; }
    int IconMode() const { return m_iconMode; }
    QLabel* IconLabel() const { return m_pLabelIcon; }
    QLabel* TextLabel() const { return m_pLabelText; }
    QPushButton* OkButton() const { return m_pBtnOk; }
    QPushButton* CancelButton() const { return m_pBtnCancel; }

public slots:
    void OnClickOk();
    void OnClickCancel();

protected:
    void customEvent(QEvent* event) override;

private:
    void RetranslateTexts();

    QLabel* m_pLabelIcon = nullptr;
    QLabel* m_pLabelText = nullptr;
    QPushButton* m_pBtnOk = nullptr;
    QPushButton* m_pBtnCancel = nullptr;
    QWidget* m_pButtonBar = nullptr;
    QString m_text;
    int m_buttonMode;
    int m_iconMode;
};
