#pragma once

#include <QHash>
#include <QTableView>
#include <QVector>

class CheckBoxHeaderView;
class CheckBoxTableModel;
class QSortFilterProxyModel;

// The view of every device table: a CheckBoxTableModel through its sort proxy,
// with the check-all header, the check box delegate and a hover row.
class CheckBoxTableView : public QTableView
{
    Q_OBJECT

public:
    explicit CheckBoxTableView(QWidget* parent = nullptr);
    ~CheckBoxTableView() override;

    using QTableView::setModel;
    void setModel(QSortFilterProxyModel* proxy, int checkColumn);
    void setModel(QSortFilterProxyModel* proxy, int checkColumn, int httpsColumn);

    // Pages treat 0 as "no device checked".
    int headCheckState() const;
    int headHttpsCheckState() const;
    CheckBoxHeaderView* checkBoxHeader() const { return m_pHeader; }

    // Widens every column too narrow for its header or for a listed cell;
    // the model's resets and changes run it. No column is made narrower.
    void fitColumnsToContents();

    // Model row painted with the hover background; -1 for none.
    void setHoverRow(int row);
    int hoverRow() const { return m_hoverRow; }

signals:
    void headCheckChanged(Qt::CheckState state);
    void headHttpsCheckChanged(Qt::CheckState state);

public slots:
    void updateHeadCheckStateToModel(Qt::CheckState state);
    void updateHeadCheckStateToDelgate(Qt::CheckState state);
    void sortByColumnRes(int column);
    void updateHeadHttpsCheckStateToModel(Qt::CheckState state);
    void updateHeadHttpsCheckStateToDelgate(Qt::CheckState state);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CheckBoxTableModel* SourceModel() const;
    // The model row under a viewport position, -1 over empty space.
    QModelIndex SourceIndexAt(const QPoint& position) const;
    void RepaintModelRow(int row);
    void FitCellsToContents(const QModelIndex& topLeft, const QModelIndex& bottomRight);
    // The widest of the column's cells in the rows given, as the delegate draws them.
    int CellsWidth(int column, int firstRow, int lastRow) const;

    CheckBoxHeaderView* m_pHeader;
    int m_hoverRow = -1;
    // Cell widths by column and display text, measured once while the font
    // and style stay: a cell's width follows from them alone, and a batch's
    // refreshed rows mostly repeat texts measured already.
    mutable QVector<QHash<QString, int>> m_cellWidths;
};
