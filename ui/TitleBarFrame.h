#pragma once

#include <QFrame>
#include <QList>
#include <QPoint>

class QAction;
class QLabel;
class QMenu;
class QToolButton;

// The program's own title bar. Main-window mode: logos, about/language menu,
// minimise, restore/maximise and close. Dialog mode: title and close button;
// dragging it moves the dialog.
class TitleBarFrame : public QFrame
{
    Q_OBJECT

public:
    TitleBarFrame(QWidget* parent, bool isMain);
    ~TitleBarFrame() override;

    void SetTitle(const QString& text);

    bool IsMain() const { return m_bMain; }
    bool IsRestoreShown() const { return m_bRestoreShown; }
    QLabel* TopLogo() const { return m_pTopLogo; }
    QLabel* Logo() const { return m_pLogo; }
    QLabel* SubLogo() const { return m_pSubLogo; }
    QLabel* TitleLabel() const { return m_pTitleLabel; }
    QToolButton* AboutButton() const { return m_pBtnAbout; }
    QToolButton* LanguageButton() const { return m_pBtnLanguage; }
    QToolButton* MinButton() const { return m_pBtnMin; }
    QToolButton* RestoreButton() const { return m_pBtnRestore; }
    QToolButton* CloseButton() const { return m_pBtnClose; }
    QToolButton* MaxButton() const { return m_pBtnMax; }
    QMenu* InfoMenu() const { return m_pInfoMenu; }
    QMenu* LanguageMenu() const { return m_pLanguageMenu; }
    QAction* LanguageAction() const { return m_pLanguageAction; }
    QAction* AboutAction() const { return m_pAboutAction; }
    const QList<QAction*>& LanguageActions() const { return m_languageActions; }

    // The about text of the current customer code, language and version.
    static QString AboutText();

signals:
    void CloseRequest(int value);
    void MinReqest();
    void Restore();
    void RestoreOrMax();
    void TitleMoveRequest(QPoint p);

public slots:
    void OnBtnInfo();
    void OnBtnClose();
    void OnRestore();
    void ChangeLanguage(QAction* action);
    void ShowAboutWindow();

protected:
    void customEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void BuildMain();
    void BuildLayout();
    void RetranslateTexts();
    QToolButton* MakeButton(const char* objectName, bool fixedSize = true);
    QLabel* MakeLogo(const char* path);

    QLabel* m_pTopLogo = nullptr;
    QLabel* m_pLogo = nullptr;
    QLabel* m_pSubLogo = nullptr;
    QLabel* m_pTitleLabel = nullptr;
    QToolButton* m_pBtnAbout = nullptr;
    QToolButton* m_pBtnLanguage = nullptr;
    QToolButton* m_pBtnMin = nullptr;
    QToolButton* m_pBtnRestore = nullptr;
    QToolButton* m_pBtnClose = nullptr;
    QToolButton* m_pBtnMax = nullptr;
    bool m_bMain;
    bool m_bDragging = false;
    bool m_bShowLogo = true;
    bool m_bRestoreShown = false;
    QPoint m_pressPos;
    QMenu* m_pInfoMenu = nullptr;
    QMenu* m_pLanguageMenu = nullptr;
    QAction* m_pLanguageAction = nullptr;
    QAction* m_pAboutAction = nullptr;
    QList<QAction*> m_languageActions;
};
