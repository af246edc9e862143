#pragma once

#include <QStyledItemDelegate>

// Draws a device table's row check boxes (and the https boxes where a table
// has them), toggles them on a press inside the box, and underlines the IP
// column, which opens the device's web page. Never opens an editor.
class CheckBoxTableDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    CheckBoxTableDelegate(int checkColumn, int httpsColumn, QObject* parent = nullptr);
    ~CheckBoxTableDelegate() override;

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    bool IsHttpsBoxCell(const QModelIndex& index) const;

    int m_checkColumn;
    int m_httpsColumn;
};
