#include "CheckBoxTableModel.h"

#include "ZVMessageBox.h"

#include "DeviceInfo.h"
#include "TableViewSortProxy.h"

#include <QBrush>
#include <QColor>
#include <QRegularExpression>
#include <QSet>

namespace
{

// Labels that name the same device field in different customer profiles.
TextId CanonicalHeader(TextId id)
{
    switch (id) {
    case 191: return 32; // IP address
    case 190: return 39; // MAC address
    default: return id;
    }
}

Qt::CheckState HeaderState(int checked, int visible)
{
    if (checked == 0 || visible == 0)
        return Qt::Unchecked;
    return checked == visible ? Qt::Checked : Qt::PartiallyChecked;
}
} // namespace

CheckBoxTableModel::CheckBoxTableModel(QObject* parent, int kind, int checkColumn)
    : QAbstractTableModel(parent)
    , m_checkColumn(checkColumn)
    , m_kind(kind)
{
    initHeader();
}

CheckBoxTableModel::~CheckBoxTableModel()
{
    // The settings object would otherwise post language events to a freed model.
    ZVAppSetting::Instance()->RemoveLanguageListener(this);
}

QVector<TextId> CheckBoxTableModel::HeaderTextIds(int kind, CompanyCode code)
{
    const bool http = IsHttpApiCompany(code);
    switch (kind) {
    case TableKindSearch:
        if (code == 31)
            return { 31, 32, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
        if (code == 20 || code == 42)
            return { 31, 32, 158, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
        if (code == 34)
            return { 31, 32, 44, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127 };
        if (code == 40)
            return { 31, 191, 33, 42, 60, 190, 36, 44 };
        if (code == 41)
            return { 31, 32, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 192, 44 };
        if (http)
            return { 31, 32, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 198, 44 };
        return { 31, 32, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    case TableKindUpgrade:
        if (code == 31)
            return { 31, 32, 34, 60, 36, 44, 142, 145 };
        if (code == 20 || code == 42)
            return { 31, 32, 33, 34, 60, 36, 39, 44, 142, 145 };
        if (code == 34)
            return { 31, 32, 44, 33, 34, 60, 36, 39, 142, 145 };
        if (code == 40)
            return { 31, 191, 33, 60, 190, 36, 44 };
        if (http)
            return { 31, 191, 42, 60, 190, 36, 44 };
        return { 31, 32, 33, 34, 60, 36, 44, 142, 145 };
    case TableKindDeviceInfo:
        if (http)
            return { 31, 32, 42, 34, 39, 44 };
        return { 31, 32, 33, 34, 39, 44 };
    case TableKindImportExport:
    case TableKindChangePassword:
    case TableKindReboot:
        if (http)
            return { 31, 32, 42, 34, 60, 36, 44 };
        return { 31, 32, 33, 34, 60, 36, 44 };
    case TableKindExportExcel:
        if (http)
            return { 31, 32, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
        return { 31, 32, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    case TableKindExtranetSearch:
        if (http)
            return { 31, 32, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
        return { 31, 32, 158, 33, 42, 34, 60, 35, 36, 37, 38, 39, 43, 127, 44 };
    case TableKindStreamConfig: return { 31, 32, 34, 60, 35, 175, 176, 177, 181, 44 };
    case TableKindOsdConfig:
        if (http)
            return { 31, 32, 42, 34, 60, 36, 182, 183, 184, 44 };
        return { 31, 32, 33, 34, 60, 36, 182, 183, 184, 44 };
    case TableKindRecovery:
        if (code == 0 || code == 45)
            return { 31, 32, 33, 34, 60, 36, 44 };
        if (code == 40)
            return { 31, 32, 33, 60, 36, 44 };
        return {};
    case TableKindInitial:
        if (http)
            return { 31, 32, 42, 34, 60, 36, 198, 44 };
        return {};
    case TableKindChangeDevice:
        if (code == 40)
            return { 31, 32, 33, 60, 35, 36, 44 };
        return { 31, 32, 33, 34, 60, 35, 36, 44 };
    default: return {};
    }
}

void CheckBoxTableModel::initHeader()
{
    ZVAppSetting::Instance()->AddLanguageListener(this);
    m_headerIds = HeaderTextIds(m_kind, Company());
    m_headerLabels.clear();
    for (TextId id : m_headerIds)
        m_headerLabels.append(LanguageText(id));
}

int CheckBoxTableModel::columnOfHeader(TextId id) const
{
    const TextId wanted = CanonicalHeader(id);
    for (int column = 0; column < m_headerIds.size(); ++column) {
        if (CanonicalHeader(m_headerIds.at(column)) == wanted)
            return column;
    }
    return -1;
}

QModelIndex CheckBoxTableModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= m_devices.size() || column < 0 || column >= m_headerLabels.size())
        return QModelIndex();
    DeviceInfo* device = m_devices.at(row);
    const QModelIndex created = createIndex(row, column, device);
    if (device && column == m_headerLabels.size() - 1)
        device->SetLastColumnIndex(m_kind, created);
    return created;
}

int CheckBoxTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_devices.size();
}

int CheckBoxTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_headerLabels.size();
}

QVariant CheckBoxTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: break;
    case Qt::TextAlignmentRole: return int(Qt::AlignCenter);
    case Qt::BackgroundRole: return row == m_hoverRow ? QVariant(QBrush(QColor(255, 255, 255))) : QVariant();
    case Qt::ForegroundRole:
        if (column != 1)
            return QVariant();
        return Company() == 45 ? QColor(242, 110, 44) : QColor(0, 0, 255);
    default: return QVariant();
    }

    if (row >= m_devices.size() || column >= m_headerIds.size())
        return QVariant();
    const DeviceInfo* device = m_devices.at(row);
    if (!device)
        return QVariant();
    switch (m_headerIds.at(column)) {
    case 31: return row + 1;
    case 32:
    case 191: return device->Ip();
    case 33: return static_cast<int>(device->m_searchRsp.mediaPort);
    case 42: return static_cast<int>(device->m_searchRsp.webPort);
    case 34: return device->ChannelCount();
    case 60:
        if ((m_kind == TableKindSearch || m_kind == TableKindExportExcel) && Company() == 7
            && device->ChannelCount() == 1)
            return device->Manufacture();
        return device->DeviceName();
    case 35: return device->DeviceType();
    case 36: return device->DeviceVersion();
    case 37: return device->Netmask();
    case 38: return device->Gateway();
    case 39:
    case 190: return device->Mac();
    case 43: return device->NetModeText();
    case 127: return device->P2pId();
    case 192: return device->DateText();
    case 198: return device->IsInitialized();
    case 44: return device->StatusText();
    case 142: return device->m_deviceVersionText;
    case 145: return device->VersionMatchText();
    case 158: return QString();
    case 175: return device->m_resolutionText;
    case 176: return device->m_fpsText;
    case 177: return device->m_encodeTypeText;
    case 181: return device->m_customBitrate;
    case 182: return device->m_osdChannelName;
    case 183: return device->m_osdNamePos;
    case 184: return device->m_osdDatePos;
    default: return QVariant();
    }
}

QVariant CheckBoxTableModel::headerData(int section, Qt::Orientation, int role) const
{
    if (role != Qt::DisplayRole || section >= m_headerLabels.size())
        return QVariant();
    return section < 0 ? QString() : m_headerLabels.at(section);
}

Qt::ItemFlags CheckBoxTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags
        = Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled | Qt::ItemIsEnabled;
    if (index.column() == m_checkColumn || index.column() == 2)
        return flags | Qt::ItemIsUserCheckable;
    return flags;
}

void CheckBoxTableModel::customEvent(QEvent* event)
{
    if (event->type() != LanguageChangedEvent::EventType)
        return;
    beginResetModel();
    initHeader();
    endResetModel();
}

QSortFilterProxyModel* CheckBoxTableModel::proxyModel()
{
    if (!m_pProxy) {
        // Without a parent of our own the proxy lives and dies with the model.
        m_pProxy = new TableViewSortProxy(parent() ? parent() : this);
        m_pProxy->setSourceModel(this);
        m_pProxy->setDynamicSortFilter(true);
        // The rows a check-all or a count may touch follow what the view shows.
        connect(m_pProxy, &QAbstractItemModel::rowsInserted, this, &CheckBoxTableModel::OnProxyRowsChanged);
        connect(m_pProxy, &QAbstractItemModel::rowsRemoved, this, &CheckBoxTableModel::OnProxyRowsChanged);
        connect(m_pProxy, &QAbstractItemModel::layoutChanged, this, &CheckBoxTableModel::OnProxyRowsChanged);
        connect(m_pProxy, &QAbstractItemModel::modelReset, this, &CheckBoxTableModel::OnProxyRowsChanged);
        connect(m_pProxy, &QObject::destroyed, this, [this] { m_pProxy = nullptr; });
    }
    return m_pProxy;
}

CheckBoxTableModel* CheckBoxTableModel::FromViewModel(const QAbstractItemModel* model)
{
    auto* viewModel = const_cast<QAbstractItemModel*>(model);
    if (auto* proxy = qobject_cast<QSortFilterProxyModel*>(viewModel))
        viewModel = proxy->sourceModel();
    return qobject_cast<CheckBoxTableModel*>(viewModel);
}

bool CheckBoxTableModel::drawsHttpsBoxes() const
{
    const CompanyCode code = Company();
    return HasHttpsColumn() && (code == 20 || code == 42);
}

DeviceInfo* CheckBoxTableModel::deviceAt(const QModelIndex& viewIndex) const
{
    if (!viewIndex.isValid())
        return nullptr;
    QModelIndex source;
    if (viewIndex.model() == this)
        source = viewIndex;
    else if (m_pProxy && viewIndex.model() == m_pProxy)
        source = m_pProxy->mapToSource(viewIndex);
    if (!source.isValid() || source.row() >= m_devices.size())
        return nullptr;
    return m_devices.at(source.row());
}

int CheckBoxTableModel::rowOf(const DeviceInfo* device) const
{
    return device ? m_devices.indexOf(const_cast<DeviceInfo*>(device)) : -1;
}

int CheckBoxTableModel::checkState(const QModelIndex& viewIndex) const
{
    const DeviceInfo* device = deviceAt(viewIndex);
    return device ? device->CheckState(m_kind) : 0;
}

int CheckBoxTableModel::httpsCheckState(const QModelIndex& viewIndex) const
{
    const DeviceInfo* device = HasHttpsColumn() ? deviceAt(viewIndex) : nullptr;
    return device ? device->m_httpsCheckState : 0;
}

void CheckBoxTableModel::setCheckState(const QModelIndex& viewIndex, int state)
{
    DeviceInfo* device = deviceAt(viewIndex);
    if (!device)
        return;
    if (SameNameRuleApplies() && state == Qt::Checked && RefusedBySameNameRule(device)) {
        ShowSameNameRefusal();
        return;
    }
    device->SetCheckState(m_kind, state);
    if (SameNameRuleApplies())
        UpdateAnchor();
    const int row = rowOf(device);
    if (m_checkColumn >= 0 && m_checkColumn < columnCount())
        emit dataChanged(index(row, m_checkColumn), index(row, m_checkColumn));
}

void CheckBoxTableModel::setHttpsCheckState(const QModelIndex& viewIndex, int state)
{
    DeviceInfo* device = HasHttpsColumn() ? deviceAt(viewIndex) : nullptr;
    if (!device)
        return;
    device->m_httpsCheckState = state;
    const int row = rowOf(device);
    if (columnCount() > 2)
        emit dataChanged(index(row, 2), index(row, 2));
}

void CheckBoxTableModel::setDevices(const QList<DeviceInfo*>& devices)
{
    ZVAppSetting::Instance()->AddLanguageListener(this);
    beginResetModel();
    m_devices = devices;
    if (m_kind == TableKindStreamConfig || m_kind == TableKindOsdConfig) {
        m_devices.erase(std::remove_if(m_devices.begin(), m_devices.end(),
                            [](DeviceInfo* d) { return !d || d->ChannelCount() != 1; }),
            m_devices.end());
    } else if (m_kind == TableKindInitial) {
        m_devices.erase(
            std::remove_if(m_devices.begin(), m_devices.end(), [](DeviceInfo* d) { return !d || d->IsInitialized(); }),
            m_devices.end());
    }
    m_visibleDevices = m_devices;
    if (SameNameRuleApplies())
        UpdateAnchor();
    endResetModel();
    // Pages refresh a row through the index a device keeps for this table.
    const int last = columnCount() - 1;
    for (int row = 0; last >= 0 && row < m_devices.size(); ++row)
        index(row, last);
    // Devices keep their check states between refreshes: count them again.
    updateVisibleDevices();
}

void CheckBoxTableModel::clear()
{
    m_anchorCount = 0;
    m_pAnchorDevice = nullptr;
    m_anchorName.clear();
    beginResetModel();
    m_devices.clear();
    m_visibleDevices.clear();
    m_checkedDevices.clear();
    m_httpsCheckedDevices.clear();
    endResetModel();
    emit dataChangeToheader(Qt::Unchecked);
    emit dataChangeToHttpsHeader(Qt::Unchecked);
}

void CheckBoxTableModel::updateRow(const QModelIndex& lastColumnIndex, bool)
{
    if (!lastColumnIndex.isValid())
        return;
    // The index may come from another model of the same kind or from an older
    // list: only its device is trusted, never its row.
    auto* device = static_cast<DeviceInfo*>(lastColumnIndex.internalPointer());
    int row = lastColumnIndex.row();
    if (lastColumnIndex.model() != this || row >= m_devices.size() || m_devices.at(row) != device)
        row = rowOf(device);
    EmitRowsChanged(row, row);
}

void CheckBoxTableModel::updateDevice(DeviceInfo* device)
{
    const int row = rowOf(device);
    EmitRowsChanged(row, row);
}

void CheckBoxTableModel::updateDevices(const QList<DeviceInfo*>& devices)
{
    if (devices.isEmpty())
        return;
    // One pass over the rows: a batch may be as long as the table.
    const QSet<const DeviceInfo*> wanted(devices.cbegin(), devices.cend());
    int first = -1;
    int last = -1;
    for (int row = 0; row < m_devices.size(); ++row) {
        if (!wanted.contains(m_devices.at(row)))
            continue;
        if (first < 0)
            first = row;
        last = row;
    }
    EmitRowsChanged(first, last);
}

void CheckBoxTableModel::EmitRowsChanged(int firstRow, int lastRow)
{
    const int lastColumn = columnCount() - 1;
    if (firstRow < 0 || lastRow < firstRow || lastRow >= m_devices.size() || lastColumn < 0)
        return;
    emit dataChanged(index(firstRow, 0), index(lastRow, lastColumn));
}

void CheckBoxTableModel::updateVisibleDevices()
{
    RebuildVisibleDevices();
    // Hidden devices never count as checked, so the counts change with the rows.
    updateCheckedDevices();
    updateHttpsCheckedDevices();
}

void CheckBoxTableModel::RebuildVisibleDevices()
{
    m_visibleStale = false;
    m_visibleDevices.clear();
    if (!m_pProxy || m_pProxy->rowCount() == m_devices.size()) {
        m_visibleDevices = m_devices;
        return;
    }
    const int rows = m_pProxy->rowCount();
    m_visibleDevices.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        if (DeviceInfo* device = deviceAt(m_pProxy->index(row, 0)))
            m_visibleDevices.append(device);
    }
}

void CheckBoxTableModel::EnsureVisibleDevices()
{
    if (m_visibleStale)
        updateVisibleDevices();
}

QList<DeviceInfo*> CheckBoxTableModel::visibleDevices()
{
    EnsureVisibleDevices();
    return m_visibleDevices;
}

void CheckBoxTableModel::updateCheckedDevices()
{
    if (m_visibleStale)
        RebuildVisibleDevices();
    m_checkedDevices.clear();
    for (DeviceInfo* device : qAsConst(m_visibleDevices)) {
        if (device->CheckState(m_kind) == Qt::Checked)
            m_checkedDevices.append(device);
    }
    emit dataChangeToheader(HeaderState(m_checkedDevices.size(), m_visibleDevices.size()));
}

void CheckBoxTableModel::updateHttpsCheckedDevices()
{
    if (m_visibleStale)
        RebuildVisibleDevices();
    m_httpsCheckedDevices.clear();
    if (HasHttpsColumn()) {
        for (DeviceInfo* device : qAsConst(m_visibleDevices)) {
            if (device->m_httpsCheckState == Qt::Checked)
                m_httpsCheckedDevices.append(device);
        }
    }
    emit dataChangeToHttpsHeader(HeaderState(m_httpsCheckedDevices.size(), m_visibleDevices.size()));
}

void CheckBoxTableModel::setAllChecked(int state)
{
    EnsureVisibleDevices();
    m_checkedDevices.clear();
    for (DeviceInfo* device : qAsConst(m_visibleDevices))
        device->SetCheckState(m_kind, state);
    if (state == Qt::Checked)
        m_checkedDevices = m_visibleDevices;
    if (SameNameRuleApplies())
        UpdateAnchor();
    EmitCheckColumnChanged(m_checkColumn);
}

void CheckBoxTableModel::setAllHttpsChecked(int state)
{
    EnsureVisibleDevices();
    m_httpsCheckedDevices.clear();
    if (!HasHttpsColumn())
        return;
    for (DeviceInfo* device : qAsConst(m_visibleDevices))
        device->m_httpsCheckState = state;
    if (state == Qt::Checked)
        m_httpsCheckedDevices = m_visibleDevices;
    EmitCheckColumnChanged(2);
}

void CheckBoxTableModel::getCheckedDevices(QList<DeviceInfo*>& out)
{
    EnsureVisibleDevices();
    out = m_checkedDevices;
}

bool CheckBoxTableModel::removeDevice(DeviceInfo* device)
{
    const int row = rowOf(device);
    if (row < 0)
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_devices.removeAt(row);
    m_visibleDevices.removeOne(device);
    m_checkedDevices.removeOne(device);
    m_httpsCheckedDevices.removeOne(device);
    if (SameNameRuleApplies())
        UpdateAnchor();
    endRemoveRows();
    const int numberColumn = columnOfHeader(31);
    if (numberColumn >= 0 && row < m_devices.size())
        emit dataChanged(index(row, numberColumn), index(m_devices.size() - 1, numberColumn));
    updateVisibleDevices();
    return true;
}

void CheckBoxTableModel::setFilterHeader(TextId id)
{
    const int column = columnOfHeader(id);
    // A column past the last one filters nothing out (the proxy accepts every
    // row whose filter cell does not exist).
    setFilterColumn(column >= 0 ? column : columnCount());
}

void CheckBoxTableModel::setFilterColumn(int column)
{
    m_filterColumn = column;
    ApplyFilter();
}

void CheckBoxTableModel::setFilterText(const QString& text)
{
    m_filterText = text;
    ApplyFilter();
}

void CheckBoxTableModel::ApplyFilter()
{
    if (!m_pProxy)
        return;
    m_pProxy->setFilter(m_filterColumn, QRegularExpression(m_filterText, QRegularExpression::CaseInsensitiveOption));
    updateVisibleDevices();
}

void CheckBoxTableModel::OnProxyRowsChanged()
{
    m_visibleStale = true;
    if (m_visibleUpdateQueued)
        return;
    m_visibleUpdateQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_visibleUpdateQueued = false;
            EnsureVisibleDevices();
        },
        Qt::QueuedConnection);
}

bool CheckBoxTableModel::HasHttpsColumn() const
{
    return m_kind == TableKindSearch || m_kind == TableKindExtranetSearch;
}

bool CheckBoxTableModel::SameNameRuleApplies() const
{
    return m_kind == TableKindImportExport && Company() == 16;
}

// Every device checked on this table must carry one device name, also when
// checks were taken back in between; hidden rows count too, since they come
// back checked when the filter is cleared.
bool CheckBoxTableModel::RefusedBySameNameRule(const DeviceInfo* device) const
{
    const QString name = device->DeviceName();
    for (const DeviceInfo* other : m_devices) {
        if (other && other != device && other->CheckState(m_kind) != Qt::Unchecked && other->DeviceName() != name)
            return true;
    }
    return false;
}

void CheckBoxTableModel::UpdateAnchor()
{
    m_anchorCount = 0;
    m_pAnchorDevice = nullptr;
    m_anchorName.clear();
    for (DeviceInfo* device : qAsConst(m_devices)) {
        if (!device || device->CheckState(m_kind) == Qt::Unchecked)
            continue;
        if (!m_pAnchorDevice) {
            m_pAnchorDevice = device;
            m_anchorName = device->DeviceName();
        }
        ++m_anchorCount;
    }
}

void CheckBoxTableModel::ShowSameNameRefusal()
{
    ZVMessageBox::ShowMessage(nullptr, LanguageText(125), LanguageText(6), 1, 0);
}

void CheckBoxTableModel::EmitCheckColumnChanged(int column)
{
    if (m_devices.isEmpty() || column < 0 || column >= columnCount())
        return;
    emit dataChanged(index(0, column), index(m_devices.size() - 1, column));
}
