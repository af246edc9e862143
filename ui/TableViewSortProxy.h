#pragma once

#include <QSortFilterProxyModel>
#include <QVector>

// Sorts IPv4 texts by their numeric value, other texts in the user's locale
// order and integers numerically; filtering is the base class's own.
class TableViewSortProxy : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit TableViewSortProxy(QObject* parent = nullptr);
    ~TableViewSortProxy() override;

    void setSourceModel(QAbstractItemModel* model) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Applies a new filter as one layout change. The base class tells views
    // of every removed or inserted range, and a pattern that keeps every
    // other row of a large table makes thousands of them.
    void setFilter(int column, const QRegularExpression& expression);

    // A strict weak ordering over any mix of values: invalid values first,
    // then texts that are no address (locale order), then addresses
    // (numerically), then integers; values of other types are all equal.
    static bool LessThanValues(const QVariant& left, const QVariant& right);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    struct SortKey
    {
        int rank = -1; // -1: not read yet
        quint32 address = 0;
        qlonglong integer = 0;
        QString text;
    };

    static SortKey KeyOf(const QVariant& value);
    static bool Less(const SortKey& left, const SortKey& right);
    const SortKey& CachedKey(const QModelIndex& source) const;
    void ForgetKeys();

    // The sort column's keys by source row, read once per sort instead of
    // once per comparison; dropped whenever the source model changes.
    mutable QVector<SortKey> m_keys;
    mutable int m_keyColumn = -1;
    QList<QMetaObject::Connection> m_sourceConnections;
};
