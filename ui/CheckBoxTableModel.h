#pragma once

#include "LanguageTexts.h"
#include "ZVAppSetting.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <QVector>

class DeviceInfo;
class QSortFilterProxyModel;
class TableViewSortProxy;

// The device list behind every device table. The kind (TableKind) chooses the
// columns, the rows kept and which of a device's per-table check states the
// check box column shows. The rows point into DeviceInfoMng's lists; the model
// owns no device. GUI thread only.
//
// View indexes are indexes of the proxy (proxyModel()); indexes of the model
// itself are accepted as well.
class CheckBoxTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    CheckBoxTableModel(QObject* parent, int kind, int checkColumn);
    ~CheckBoxTableModel() override;

    // The header's text ids for a table kind and customer code, left to right.
    static QVector<TextId> HeaderTextIds(int kind, CompanyCode code);

    void initHeader();
    int kind() const { return m_kind; }
    int checkColumn() const { return m_checkColumn; }
    QVector<TextId> headerTextIds() const { return m_headerIds; }
    // The column whose header shows id (the two IP and MAC labels stand for
    // each other); -1 when this table has none.
    int columnOfHeader(TextId id) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QSortFilterProxyModel* proxyModel();
    // The table model behind a view's model (this model or its proxy), or null.
    static CheckBoxTableModel* FromViewModel(const QAbstractItemModel* model);
    // The https boxes of column 2 are drawn and react for two customers only.
    bool drawsHttpsBoxes() const;
    DeviceInfo* deviceAt(const QModelIndex& viewIndex) const;
    // The model row of a device, -1 when it is not listed.
    int rowOf(const DeviceInfo* device) const;

    int checkState(const QModelIndex& viewIndex) const;
    int httpsCheckState(const QModelIndex& viewIndex) const;
    void setCheckState(const QModelIndex& viewIndex, int state);
    void setHttpsCheckState(const QModelIndex& viewIndex, int state);

    void setDevices(const QList<DeviceInfo*>& devices);
    void clear();
    // Tells the view of every cell of one device's row, whatever wholeRow
    // says, without resetting the model, so selection and scrolling stay: a
    // device's status and queried values sit in any column, the last one may
    // be hidden, and no reset re-reads the rest.
    void updateRow(const QModelIndex& lastColumnIndex, bool wholeRow);
    void updateDevice(DeviceInfo* device);
    // The rows of a batch in one notification, from the first of them to
    // the last: one pass of the proxy and one repaint of the view.
    void updateDevices(const QList<DeviceInfo*>& devices);

    void updateVisibleDevices();
    void updateCheckedDevices();
    void updateHttpsCheckedDevices();
    void setAllChecked(int state);
    void setAllHttpsChecked(int state);
    void getCheckedDevices(QList<DeviceInfo*>& out);
    bool removeDevice(DeviceInfo* device);

    // Filter of the proxy: the column whose header the user chose, and a
    // case-insensitive regular expression. A header this table does not show
    // filters nothing out.
    void setFilterHeader(TextId id);
    void setFilterColumn(int column);
    void setFilterText(const QString& text);
    int filterColumn() const { return m_filterColumn; }
    QString filterText() const { return m_filterText; }

    int hoverRow() const { return m_hoverRow; }
    void setHoverRow(int row) { m_hoverRow = row; }
    QList<DeviceInfo*> devices() const { return m_devices; }
    QList<DeviceInfo*> visibleDevices();

signals:
    void dataChangeToheader(Qt::CheckState state);
    void dataChangeToHttpsHeader(Qt::CheckState state);

protected:
    void customEvent(QEvent* event) override;

private:
    // A filter change removes and inserts rows range by range: each range
    // only marks the visible list stale; it is rebuilt once, when read or
    // when the event loop comes back.
    void OnProxyRowsChanged();
    void ApplyFilter();
    void RebuildVisibleDevices();
    void EnsureVisibleDevices();
    bool HasHttpsColumn() const;
    bool SameNameRuleApplies() const;
    bool RefusedBySameNameRule(const DeviceInfo* device) const;
    void UpdateAnchor();
    void ShowSameNameRefusal();
    void EmitCheckColumnChanged(int column);
    void EmitRowsChanged(int firstRow, int lastRow);

    int m_checkColumn;
    int m_hoverRow = -1;
    int m_kind;
    QStringList m_headerLabels;
    QVector<TextId> m_headerIds;
    QList<DeviceInfo*> m_devices;
    QList<DeviceInfo*> m_checkedDevices;
    QList<DeviceInfo*> m_httpsCheckedDevices;
    QList<DeviceInfo*> m_visibleDevices;
    TableViewSortProxy* m_pProxy = nullptr;
    QString m_anchorName;
    int m_anchorCount = 0;
    DeviceInfo* m_pAnchorDevice = nullptr;
    int m_filterColumn = 0;
    QString m_filterText;
    bool m_visibleStale = false;
    bool m_visibleUpdateQueued = false;
};
