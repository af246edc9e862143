#pragma once

#include <QWidget>

class QLabel;

// The program's single window.
class MainFrame : public QWidget
{
    Q_OBJECT

public:
    explicit MainFrame(QWidget* parent = nullptr);
    ~MainFrame() override;

protected:
    void customEvent(QEvent* event) override;

private:
    void RetranslateUi();

    QLabel* m_pLabelTitle;
};
