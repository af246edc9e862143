#include "TableViewSortProxy.h"

#include "DottedQuad.h"

#include <QRegularExpression>
#include <QSignalBlocker>

namespace
{
enum Rank
{
    RankInvalid,
    RankText,
    RankAddress,
    RankInteger,
    RankOther,
};
} // namespace

TableViewSortProxy::TableViewSortProxy(QObject* parent)
    : QSortFilterProxyModel(parent)
{
}

TableViewSortProxy::~TableViewSortProxy() = default;

void TableViewSortProxy::setSourceModel(QAbstractItemModel* model)
{
    for (const QMetaObject::Connection& connection : qAsConst(m_sourceConnections))
        disconnect(connection);
    m_sourceConnections.clear();
    ForgetKeys();
    // Connected before the base class connects its own handlers, so that a
    // re-sort after a change never reads a key from before the change.
    if (model) {
        const auto forget = [this] { ForgetKeys(); };
        m_sourceConnections = {
            connect(model, &QAbstractItemModel::dataChanged, this, forget),
            connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, forget),
            connect(model, &QAbstractItemModel::layoutChanged, this, forget),
            connect(model, &QAbstractItemModel::modelAboutToBeReset, this, forget),
            connect(model, &QAbstractItemModel::modelReset, this, forget),
            connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, forget),
            connect(model, &QAbstractItemModel::rowsInserted, this, forget),
            connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, forget),
            connect(model, &QAbstractItemModel::rowsRemoved, this, forget),
            connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, forget),
            connect(model, &QAbstractItemModel::rowsMoved, this, forget),
            connect(model, &QAbstractItemModel::columnsAboutToBeInserted, this, forget),
            connect(model, &QAbstractItemModel::columnsAboutToBeRemoved, this, forget),
            connect(model, &QAbstractItemModel::columnsAboutToBeMoved, this, forget),
        };
    }
    QSortFilterProxyModel::setSourceModel(model);
}

void TableViewSortProxy::sort(int column, Qt::SortOrder order)
{
    // Devices change without telling the model until their page refreshes
    // them: a sort the user asks for reads every value afresh.
    ForgetKeys();
    QSortFilterProxyModel::sort(column, order);
}

void TableViewSortProxy::setFilter(int column, const QRegularExpression& expression)
{
    if (column == filterKeyColumn() && expression == filterRegularExpression())
        return;
    emit layoutAboutToBeChanged();
    {
        // Persistent indexes still follow each row; only the signals wait.
        const QSignalBlocker blocker(this);
        setFilterKeyColumn(column);
        setFilterRegularExpression(expression);
    }
    emit layoutChanged();
}

TableViewSortProxy::SortKey TableViewSortProxy::KeyOf(const QVariant& value)
{
    SortKey key;
    key.rank = RankOther;
    switch (static_cast<int>(value.type())) {
    case QMetaType::UnknownType: key.rank = RankInvalid; break;
    case QMetaType::QString:
        key.text = value.toString();
        key.rank = ParseDottedQuad(key.text, &key.address) ? RankAddress : RankText;
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        key.rank = RankInteger;
        key.integer = value.toLongLong();
        break;
    default: break;
    }
    return key;
}

bool TableViewSortProxy::Less(const SortKey& left, const SortKey& right)
{
    if (left.rank != right.rank)
        return left.rank < right.rank;
    switch (left.rank) {
    case RankText: return QString::localeAwareCompare(left.text, right.text) < 0;
    case RankAddress: return left.address < right.address;
    case RankInteger: return left.integer < right.integer;
    default: return false;
    }
}

bool TableViewSortProxy::LessThanValues(const QVariant& left, const QVariant& right)
{
    return Less(KeyOf(left), KeyOf(right));
}

bool TableViewSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (!sourceModel())
        return false;
    if (left.column() != right.column() || left.parent().isValid() || right.parent().isValid())
        return LessThanValues(left.data(Qt::DisplayRole), right.data(Qt::DisplayRole));
    return Less(CachedKey(left), CachedKey(right));
}

const TableViewSortProxy::SortKey& TableViewSortProxy::CachedKey(const QModelIndex& source) const
{
    if (source.column() != m_keyColumn) {
        m_keys.clear();
        m_keyColumn = source.column();
    }
    if (source.row() >= m_keys.size())
        m_keys.resize(qMax(sourceModel()->rowCount(), source.row() + 1));
    SortKey& key = m_keys[source.row()];
    if (key.rank < 0)
        key = KeyOf(source.data(Qt::DisplayRole));
    return key;
}

void TableViewSortProxy::ForgetKeys()
{
    m_keys.clear();
    m_keyColumn = -1;
}
