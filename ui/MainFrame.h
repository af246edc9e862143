#pragma once

#include "PageIndex.h"

#include <QFrame>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QVector>

#include <array>

class DevicePage;
class LoginPage;
class OsdPage;
class PageFactory;
class QSlider;
class QStackedWidget;
class SearchFrame;
class TitleBarFrame;
class ToolBarFrame;

// The program's one top-level window: frameless, with its own title bar, the
// page tool bar and the stack of pages. It routes every tool-bar request to
// its page, maximises against the screen's available area, moves by its title
// bar and resizes by a 5-pixel border.
class MainFrame : public QFrame
{
    Q_OBJECT

public:
    // Border zones, clockwise from the top edge; 0 is none.
    enum ResizeZone
    {
        ZoneNone,
        ZoneTop,
        ZoneTopRight,
        ZoneRight,
        ZoneBottomRight,
        ZoneBottom,
        ZoneBottomLeft,
        ZoneLeft,
        ZoneTopLeft
    };

    explicit MainFrame(const PageFactory& pages, QWidget* parent = nullptr);
    ~MainFrame() override;

    void ToggleMaximized();

    bool IsMaximized() const { return m_bMaximized; }
    // The narrowest the window may be: the minimum width of its size rule,
    // or what the tool bar needs in this customer's profile and language,
    // whichever is wider, but never wider than the window's maximum.
    int NeededWidth() const;
    TitleBarFrame* TitleBar() const { return m_pTitleBar; }
    ToolBarFrame* ToolBar() const { return m_pToolBar; }
    QStackedWidget* StackedWidget() const { return m_pStackedWidget; }
    SearchFrame* SearchPage() const { return m_pSearchFrame; }
    LoginPage* LoginFramePage() const { return m_pLoginFrame; }
    // The page at an index; null for the login page, which is no device page.
    DevicePage* Page(PageIndex index) const { return m_pages[index]; }
    const QVector<QSlider*>& OsdSliders() const { return m_osdSliders; }

signals:
    void ToLoginFrame();
    void Doubleclicked();

public slots:
    void OnCloseReponse(int value);
    void OnMinResponse();
    void OnRestoreResponse();
    void OnSearchponse();
    void OnUpgradeResponse();
    void OnConfigRequest();
    void OnDeviceInfoRequest();
    void OnImportExportRequest();
    void OnChangePasswordRequest();
    void OnExportExcelRequest();
    void OnExtranetsearchRequest();
    void OnStreamConfigRequest();
    void OnOSDConfigRequest();
    void OnSearchFrameDoubleClick();
    void OnFilterIndexChangedResponse();
    void OnFilterTextChangedResponse();
    void OnProtocolIndexChangedResponse();
    void OnRecoveryDeviceRequest();
    void OnInitialDeviceRequest();
    void OnRebootDeviceRequest();
    void OnChangeDeviceRequest();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildPages(const PageFactory& pages);
    void ShowPage(PageIndex index, bool streamMode);
    // The page whose tool-bar button is shown and checked (the login page has no filter).
    DevicePage* FilteredPage() const;
    QRect InnerRect() const;
    void ResizeByBorder(const QPoint& globalPos);
    void UpdateBorderCursor(const QPoint& pos);
    void SetArrowCursor();
    void SetMinimumSize(int width, int height);

    TitleBarFrame* m_pTitleBar;
    ToolBarFrame* m_pToolBar;
    QStackedWidget* m_pStackedWidget;
    SearchFrame* m_pSearchFrame = nullptr;
    LoginPage* m_pLoginFrame = nullptr;
    OsdPage* m_pOsdConfig = nullptr;
    std::array<DevicePage*, PageCount> m_pages {};
    QVector<QSlider*> m_osdSliders;
    QPen m_borderPen;
    bool m_bMaximized = false;
    QRect m_normalGeometry;
    bool m_bFirstShow = true;
    // The minimum width the size rule gives; NeededWidth may raise it.
    int m_ruleMinimumWidth = 0;
    bool m_bPressed = false;
    bool m_bResizing = false;
    bool m_bMoving = false;
    QPoint m_pressPos;
    QPoint m_pressGlobalPos;
    int m_resizeZone = ZoneNone;
    bool m_bCursorChanged = false;
};
