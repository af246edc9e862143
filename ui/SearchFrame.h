#pragma once

#include "DevicePage.h"
#include "ZVTypes.h"

#include <QModelIndex>
#include <QTimer>

class CheckBoxTableModel;
class CheckBoxTableView;
class LineEdit;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

// The search lists' order: IPv4 addresses by number; a text that is no address
// comes before every address, texts among themselves in the locale's order.
bool LessThanByIp(const DeviceInfo* a, const DeviceInfo* b);

// The LAN search page (page 0): searches the LAN through the SDK or ONVIF,
// lists one device per address sorted by address, hands the list to
// DeviceInfoMng and tells the other pages to list it too. Its bottom panel
// changes or queries the network settings of one device or of the checked ones.
class SearchFrame : public DevicePage, public NetworkChangeListener
{
    Q_OBJECT

public:
    explicit SearchFrame(QWidget* parent = nullptr);
    ~SearchFrame() override;

    // Locks the tool bar and starts a LAN search; its end unlocks the bar and
    // refreshes the pages given to SetPages. A search still running is given up.
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
    bool IsSearching() const { return m_bSearching; }
    // The running search's user value for the SDK callback; null when none runs.
    void* SearchRun() const { return m_searchRun; }

    void SetFilterColumn(int column) override;
    void SetFilterText(const QString& text) override;

    void OnDeviceTaskFinished(DeviceInfo* device, bool finished) override;
    // A queued network operation of the device has ended (remove) or changed
    // its row. GUI thread.
    void OnDeviceTaskFinished(DeviceInfo* device, bool wholeRow, bool remove) override;

    // The search callback handed to the SDK; user is the search's run.
    static int SearchCallback(const SearchDevRsp* record, void* user);

signals:
    void SearchFrameDoubleClick();

public slots:
    void onClickTableView(const QModelIndex& index);
    void onHeadCheckChanged(Qt::CheckState state);
    void OnBtnModifyClicked();
    void OnNetModeChanged(int index);
    void OnDoubleClickTableView(const QModelIndex& index);
    void OnRefreshTimeOut();
    void on_m_pBtnQuery_clicked();

protected:
    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void RetranslateTexts() override;

private:
    void BuildForm();
    void InitTables();
    void ShowBottomPanel(bool show);
    void SetEditsEnabled(bool enabled);
    void FillPanel(const DeviceInfo* device);
    void ClearPanelEdits();
    void SetBatchMode(bool batch);
    void ApplyLayout(int mode);
    // Runs on the SDK's thread for each record of the running search.
    void OnSearchResult(const SearchDevRsp* record, bool onvif);
    // The search has ended: sort, hand the list over, list it (GUI thread).
    void ListSearchResults();
    // Frees what a search that never ended had collected.
    void DropSearchResults();
    void UpdateToolBarLock();
    // The devices the panel acts on: the checked ones in batch mode, else the current one.
    QList<DeviceInfo*> PanelDevices() const;
    // Takes the devices as the working list and starts a batch with them (none: no batch).
    void BeginPanelBatch(const QList<DeviceInfo*>& devices);
    // Gives the device the panel's login and queues its task.
    void QueuePanelTask(void (*task)(void*), DeviceInfo* device);
    bool IsOnvif() const { return m_protocol == 1; }

    // The form.
    QVBoxLayout* m_pHBoxLayout;
    QStackedWidget* m_pStackedWidget;
    CheckBoxTableView* m_pNormalView;
    CheckBoxTableView* m_pOnvifView;
    QFrame* m_pBottom;
    QGroupBox* m_pGroupUserInfo;
    QLabel* m_pLabelUserName;
    LineEdit* m_pEditUserName;
    QLabel* m_pLabelPassword;
    LineEdit* m_pEditPassword;
    QGroupBox* m_pGroupDevInfo;
    QComboBox* m_pComNetMode;
    QLabel* m_pLabelNetWorkMode;
    QLabel* m_pLableIP;
    LineEdit* m_pEditIP;
    QLabel* m_pLabelMediaPort;
    LineEdit* m_pEditPort;
    QLabel* m_pLabelWebPort;
    LineEdit* m_pEditWebPort;
    QLabel* m_pLabelGateway;
    LineEdit* m_pEditGateway;
    QLabel* m_pLabelNetMask;
    LineEdit* m_pEditNetMask;
    QLabel* m_pLabelDNS1;
    QLabel* m_pLabelDNS2;
    LineEdit* m_pEditDNS1;
    LineEdit* m_pEditDNS2;
    QPushButton* m_pBtnQuery;
    QPushButton* m_pBtnModify;

    CheckBoxTableModel* m_pModel = nullptr;
    QList<DeviceInfo*> m_searchResults;
    bool m_bBottomVisible = true;
    bool m_bBatchMode = false;
    int m_layoutMode = 2;
    QHBoxLayout* m_pUserRowLayout = nullptr;
    QHBoxLayout* m_pDeviceRowLayout = nullptr;
    QGridLayout* m_pUserGridLayout = nullptr;
    QGridLayout* m_pDeviceGridLayout = nullptr;
    QList<DevicePage*> m_pages;
    int m_onvifSearchHandle = 0;
    QTimer m_pTimer;
    CheckBoxTableView* m_pCurrentView = nullptr;
    CheckBoxTableModel* m_pCurrentModel = nullptr;
    CheckBoxTableModel* m_pOnvifModel = nullptr;

    int m_protocol = 0;
    // The running search's run (SearchRuns); null when none runs.
    void* m_searchRun = nullptr;
    // Numbers the searches, so that the end of one given up is told apart.
    quint64 m_searchNumber = 0;
    bool m_bSearching = false;
    // m_searchResults is DeviceInfoMng's list now, no longer the page's own.
    bool m_bResultsListed = true;
};
