#pragma once

#include "DevicePage.h"

class LineEdit;
class QGroupBox;
class QLabel;
class QStackedWidget;
class QVBoxLayout;

// The LAN search page (page 0): searches the LAN through the SDK or ONVIF,
// lists the devices and tells the other pages to list them too. The search
// itself and the device table come with the search and table work; this is
// the page's frame and its part in the main window.
class SearchFrame : public DevicePage
{
    Q_OBJECT

public:
    explicit SearchFrame(QWidget* parent = nullptr);
    ~SearchFrame() override;

    // Locks the tool bar and starts a LAN search; its end unlocks the bar and
    // refreshes the pages given to SetPages.
    void StartSearch();
    // 0: the SDK's own search and view, 1: ONVIF. Starts a new search.
    void SetProtocol(int index);
    int Protocol() const { return m_protocol; }
    // The pages that list the LAN devices, refreshed in this order after a search.
    void SetPages(const QList<DevicePage*>& pages);
    const QList<DevicePage*>& Pages() const { return m_pages; }
    // The device of the table's current row, null when there is none.
    DeviceInfo* GetCurrentDevice() const;
    void GetLoginText(QString* user, QString* password) const;

signals:
    void SearchFrameDoubleClick();

protected:
    void customEvent(QEvent* event) override;
    void RetranslateTexts() override;

private:
    void ShowBottomPanel(bool show);

    QVBoxLayout* m_pHBoxLayout;
    QStackedWidget* m_pStackedWidget;
    QFrame* m_pBottom;
    QGroupBox* m_pGroupUserInfo;
    QLabel* m_pLabelUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLabelPassword;
    LineEdit* m_pEditPassword;
    bool m_bBottomVisible = true;
    QList<DevicePage*> m_pages;
    int m_protocol = 0;
};
