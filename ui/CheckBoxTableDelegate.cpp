#include "CheckBoxTableDelegate.h"

#include "CheckBoxTableModel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStyle>

CheckBoxTableDelegate::CheckBoxTableDelegate(int checkColumn, int httpsColumn, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_checkColumn(checkColumn)
    , m_httpsColumn(httpsColumn)
{
}

CheckBoxTableDelegate::~CheckBoxTableDelegate() = default;

bool CheckBoxTableDelegate::IsHttpsBoxCell(const QModelIndex& index) const
{
    if (m_httpsColumn == -1 || index.column() != m_httpsColumn)
        return false;
    const CheckBoxTableModel* model = CheckBoxTableModel::FromViewModel(index.model());
    return model && model->drawsHttpsBoxes();
}

void CheckBoxTableDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    const CheckBoxTableModel* model = CheckBoxTableModel::FromViewModel(index.model());
    const bool checkCell = m_checkColumn != -1 && index.column() == m_checkColumn;
    if (model && (checkCell || IsHttpsBoxCell(index))) {
        option->index = index;
        option->features |= QStyleOptionViewItem::HasCheckIndicator;
        const int state = checkCell ? model->checkState(index) : model->httpsCheckState(index);
        option->checkState = static_cast<Qt::CheckState>(state);
    } else if (index.column() == 1) {
        option->index = index;
        option->font.setUnderline(true);
    }
    QStyledItemDelegate::initStyleOption(option, index);
}

bool CheckBoxTableDelegate::editorEvent(
    QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    Q_UNUSED(model)
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const auto* press = static_cast<QMouseEvent*>(event);
    if (press->button() != Qt::LeftButton)
        return false;
    CheckBoxTableModel* table = CheckBoxTableModel::FromViewModel(index.model());
    const bool checkCell = m_checkColumn != -1 && index.column() == m_checkColumn;
    if (!table || !(checkCell || IsHttpsBoxCell(index)) || !(index.flags() & Qt::ItemIsUserCheckable))
        return false;

    QStyleOptionViewItem boxOption(option);
    initStyleOption(&boxOption, index);
    const QStyle* style = boxOption.widget ? boxOption.widget->style() : QApplication::style();
    const QRect box = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &boxOption, boxOption.widget);
    if (!box.contains(press->pos()))
        return false;

    if (checkCell) {
        table->setCheckState(index, table->checkState(index) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        table->updateCheckedDevices();
    } else {
        table->setHttpsCheckState(index, table->httpsCheckState(index) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        table->updateHttpsCheckedDevices();
    }
    return true;
}
