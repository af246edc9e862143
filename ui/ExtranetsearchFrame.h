#pragma once

#include "DevicePage.h"
#include "RangeSearch.h"
#include "ZVTypes.h"

#include <QModelIndex>
#include <QTimer>

#include <string>

class CheckBoxTableModel;
class CheckBoxTableView;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace Json
{
class Value;
}

// The IP-range search page (page 6): searches the addresses from a start to a
// stop address through the SDK (or, for the HTTP API customers, the SDK
// wrapper's JSON search), lists the answers sorted by address and hands them
// to DeviceInfoMng as the range list. A bounded number of addresses is asked
// at once, each for a bounded time, and a bar shows how far the search is.
class ExtranetsearchFrame : public DevicePage
{
    Q_OBJECT

public:
    explicit ExtranetsearchFrame(QWidget* parent = nullptr);
    ~ExtranetsearchFrame() override;

    void SetFilterColumn(int column) override;
    void SetFilterText(const QString& text) override;
    bool IsSearching() const { return m_rangeSearch.IsRunning(); }
    // The operation pages that list the range's devices (the HTTP API
    // customers' only list): cleared when a search starts, refreshed when
    // it ends.
    void SetPages(const QList<DevicePage*>& pages) { m_pages = pages; }
    // A device of the list has ended an operation: finished drops it from the
    // list; the list emptied ends the page's work as a search end does.
    void OnDeviceTaskFinished(DeviceInfo* device, bool finished) override;

    // Callbacks handed to the SDK and the wrapper; user is the search's run.
    static int SearchCallback(const SearchDevRsp* record, void* user);
    static void JsonSearchCallback(const char* json, void* user);
    // The record of one device of the JSON search's reply: each member fills
    // its field; a member that is missing or of another type leaves it zero.
    static void RecordFromJson(const Json::Value& device, SearchDevRsp* record);
    // The wrapper's search request for the addresses from start to stop.
    static std::string JsonSearchRequest(const QString& start, const QString& stop);

public slots:
    void SearchExtranetDevice();
    void onClickTableView(const QModelIndex& index);
    void OnRefreshTimeOut();

protected:
    void customEvent(QEvent* event) override;
    void RetranslateTexts() override;
    void RefreshRow(DeviceInfo* device) override;

private:
    void BuildForm();
    // Runs on the SDK's thread for each device found.
    void OnSearchResult(const SearchDevRsp* record);
    // Every block has ended: sort, hand the list over, list it (GUI thread).
    void OnRangeFinished();
    bool StartBlock(bool json, const QString& start, const QString& stop, void* run);

    QFrame* m_pLine;
    QFrame* m_pInputIPFrame;
    QLabel* m_pLabelStaIP;
    QLineEdit* m_pEditStaIP;
    QLabel* m_pLabelEndIP;
    QLineEdit* m_pEditEndIP;
    QProgressBar* m_pProgress;
    QPushButton* m_pBtnQuery;
    CheckBoxTableView* m_pDeviceTableView;

    QTimer m_timer;
    QList<DeviceInfo*> m_foundDevices;
    CheckBoxTableModel* m_pModel = nullptr;
    RangeSearch m_rangeSearch;
    // m_foundDevices is DeviceInfoMng's list now, no longer the page's own.
    bool m_bFoundListed = true;
    QList<DevicePage*> m_pages;
};
