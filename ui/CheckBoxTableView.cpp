#include "CheckBoxTableView.h"

#include "CheckBoxHeaderView.h"
#include "CheckBoxTableDelegate.h"
#include "CheckBoxTableModel.h"
#include "ZVAppSetting.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QWheelEvent>

CheckBoxTableView::CheckBoxTableView(QWidget* parent)
    : QTableView(parent)
    , m_pHeader(new CheckBoxHeaderView(Qt::Horizontal, this))
{
    setHorizontalHeader(m_pHeader);
    connect(m_pHeader, &CheckBoxHeaderView::updateHeadCheckStateToModel, this,
        &CheckBoxTableView::updateHeadCheckStateToModel);
    connect(m_pHeader, &CheckBoxHeaderView::updateHeadHttpsCheckStateToModel, this,
        &CheckBoxTableView::updateHeadHttpsCheckStateToModel);
    connect(m_pHeader, &QHeaderView::sectionClicked, this, &CheckBoxTableView::sortByColumnRes);

    verticalHeader()->hide();
    m_pHeader->setFixedHeight(30);
    m_pHeader->setDefaultAlignment(Qt::AlignCenter);
    m_pHeader->setStretchLastSection(Company() != 40);
    m_pHeader->setSortIndicatorShown(true);
    m_pHeader->setSectionsClickable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(false);
    // A cell shows one line: its column is as wide as its text instead.
    setWordWrap(false);
    setFocusPolicy(Qt::NoFocus);
    setAlternatingRowColors(true);
    setMouseTracking(true);
}

CheckBoxTableView::~CheckBoxTableView() = default;

void CheckBoxTableView::setModel(QSortFilterProxyModel* proxy, int checkColumn)
{
    setModel(proxy, checkColumn, -1);
}

void CheckBoxTableView::setModel(QSortFilterProxyModel* proxy, int checkColumn, int httpsColumn)
{
    if (CheckBoxTableModel* previous = SourceModel())
        disconnect(previous, nullptr, this, nullptr);
    if (QAbstractItemModel* previousProxy = model()) {
        // Only this class's own connections: the base view keeps its own.
        disconnect(previousProxy, &QAbstractItemModel::modelReset, this, &CheckBoxTableView::fitColumnsToContents);
        disconnect(previousProxy, &QAbstractItemModel::dataChanged, this, &CheckBoxTableView::FitCellsToContents);
    }
    m_pHeader->m_checkSection = checkColumn;
    if (httpsColumn != -1)
        m_pHeader->m_httpsSection = httpsColumn;
    m_hoverRow = -1;
    m_cellWidths.clear();
    QTableView::setModel(proxy);
    QAbstractItemDelegate* previousDelegate = itemDelegate();
    setItemDelegate(new CheckBoxTableDelegate(checkColumn, httpsColumn, this));
    if (previousDelegate && previousDelegate->parent() == this)
        previousDelegate->deleteLater();

    // The indicator shows the order the rows are in: the proxy's, or the
    // model's own, which is that of the number column.
    if (proxy && proxy->sortColumn() >= 0)
        m_pHeader->setSortIndicator(proxy->sortColumn(), proxy->sortOrder());
    else
        m_pHeader->setSortIndicator(0, Qt::AscendingOrder);
    if (proxy) {
        connect(proxy, &QAbstractItemModel::modelReset, this, &CheckBoxTableView::fitColumnsToContents);
        connect(proxy, &QAbstractItemModel::dataChanged, this, &CheckBoxTableView::FitCellsToContents);
        fitColumnsToContents();
    }

    if (CheckBoxTableModel* model = SourceModel()) {
        connect(
            model, &CheckBoxTableModel::dataChangeToheader, this, &CheckBoxTableView::updateHeadCheckStateToDelgate);
        if (httpsColumn != -1)
            connect(model, &CheckBoxTableModel::dataChangeToHttpsHeader, this,
                &CheckBoxTableView::updateHeadHttpsCheckStateToDelgate);
    }
}

int CheckBoxTableView::headCheckState() const
{
    return m_pHeader ? m_pHeader->m_checkState : 0;
}

int CheckBoxTableView::headHttpsCheckState() const
{
    return m_pHeader ? m_pHeader->m_httpsState : 0;
}

void CheckBoxTableView::updateHeadCheckStateToModel(Qt::CheckState state)
{
    if (CheckBoxTableModel* model = SourceModel())
        model->setAllChecked(state);
    emit headCheckChanged(state);
}

void CheckBoxTableView::updateHeadCheckStateToDelgate(Qt::CheckState state)
{
    if (m_pHeader->m_checkState == state)
        return;
    m_pHeader->m_checkState = state;
    m_pHeader->updateSection(m_pHeader->m_checkSection);
}

void CheckBoxTableView::sortByColumnRes(int column)
{
    sortByColumn(column, m_pHeader->sortIndicatorOrder());
}

void CheckBoxTableView::updateHeadHttpsCheckStateToModel(Qt::CheckState state)
{
    if (CheckBoxTableModel* model = SourceModel())
        model->setAllHttpsChecked(state);
    emit headHttpsCheckChanged(state);
}

void CheckBoxTableView::updateHeadHttpsCheckStateToDelgate(Qt::CheckState state)
{
    if (m_pHeader->m_httpsState == state)
        return;
    m_pHeader->m_httpsState = state;
    m_pHeader->updateSection(m_pHeader->m_httpsSection);
}

void CheckBoxTableView::fitColumnsToContents()
{
    if (!model())
        return;
    // As Qt's own content sizing, a long list is measured by its first rows.
    constexpr int kMeasuredRows = 1000;
    const int rows = qMin(model()->rowCount(), kMeasuredRows);
    for (int column = 0; column < model()->columnCount(); ++column) {
        if (isColumnHidden(column))
            continue;
        const int needed = qMax(CellsWidth(column, 0, rows - 1), m_pHeader->sectionSizeHint(column));
        if (needed > columnWidth(column))
            setColumnWidth(column, needed);
    }
}

void CheckBoxTableView::FitCellsToContents(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    if (!topLeft.isValid() || !bottomRight.isValid())
        return;
    for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
        if (isColumnHidden(column))
            continue;
        const int needed = CellsWidth(column, topLeft.row(), bottomRight.row());
        if (needed > columnWidth(column))
            setColumnWidth(column, needed);
    }
}

int CheckBoxTableView::CellsWidth(int column, int firstRow, int lastRow) const
{
    QAbstractItemDelegate* delegate = itemDelegate();
    if (!delegate || !model())
        return 0;
    // No cell rectangle: the delegate measures the whole text, not what the
    // column's present width would show of it.
    QStyleOptionViewItem option = viewOptions();
    option.rect = QRect();
    // A table of unique texts would keep them all: the cache starts afresh.
    constexpr int kCachedTexts = 4096;
    if (m_cellWidths.size() <= column)
        m_cellWidths.resize(column + 1);
    QHash<QString, int>& widths = m_cellWidths[column];
    int width = 0;
    for (int row = firstRow; row <= lastRow; ++row) {
        const QModelIndex index = model()->index(row, column);
        const QString text = index.data().toString();
        auto found = widths.constFind(text);
        if (found == widths.constEnd()) {
            if (widths.size() >= kCachedTexts)
                widths.clear();
            found = widths.insert(text, delegate->sizeHint(option, index).width());
        }
        width = qMax(width, found.value());
    }
    return width;
}

void CheckBoxTableView::setHoverRow(int row)
{
    if (row == m_hoverRow)
        return;
    if (CheckBoxTableModel* model = SourceModel())
        model->setHoverRow(row);
    const int previous = m_hoverRow;
    m_hoverRow = row;
    RepaintModelRow(previous);
    RepaintModelRow(row);
}

void CheckBoxTableView::mouseMoveEvent(QMouseEvent* event)
{
    const QModelIndex source = SourceIndexAt(event->pos());
    viewport()->setCursor(source.isValid() && source.column() == 1 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setHoverRow(source.isValid() ? source.row() : -1);
    QTableView::mouseMoveEvent(event);
}

void CheckBoxTableView::wheelEvent(QWheelEvent* event)
{
    // Scroll first, so the hover row is the one under the cursor afterwards.
    QTableView::wheelEvent(event);
    const QModelIndex source = SourceIndexAt(event->position().toPoint());
    setHoverRow(source.isValid() ? source.row() : -1);
}

void CheckBoxTableView::leaveEvent(QEvent* event)
{
    setHoverRow(-1);
    QTableView::leaveEvent(event);
}

void CheckBoxTableView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_cellWidths.clear();
    QTableView::changeEvent(event);
}

CheckBoxTableModel* CheckBoxTableView::SourceModel() const
{
    return CheckBoxTableModel::FromViewModel(model());
}

QModelIndex CheckBoxTableView::SourceIndexAt(const QPoint& position) const
{
    const QModelIndex viewIndex = indexAt(position);
    if (const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(viewIndex.model()))
        return proxy->mapToSource(viewIndex);
    return viewIndex;
}

void CheckBoxTableView::RepaintModelRow(int row)
{
    CheckBoxTableModel* source = SourceModel();
    if (row < 0 || !source || !model())
        return;
    QModelIndex viewIndex = source->index(row, 0);
    if (const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(model()))
        viewIndex = proxy->mapFromSource(viewIndex);
    if (!viewIndex.isValid())
        return;
    viewport()->update(QRect(0, rowViewportPosition(viewIndex.row()), viewport()->width(), rowHeight(viewIndex.row())));
}
