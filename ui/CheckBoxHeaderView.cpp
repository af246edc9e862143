#include "CheckBoxHeaderView.h"

#include "CheckBoxTableModel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace
{
constexpr int kBoxOffset = 3;
constexpr int kBoxTop = 6;
constexpr int kBoxSize = 12;

// A partly checked header becomes checked; a checked one unchecked.
Qt::CheckState Toggled(int state)
{
    return state == Qt::Checked ? Qt::Unchecked : Qt::Checked;
}
} // namespace

CheckBoxHeaderView::CheckBoxHeaderView(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent)
{
}

CheckBoxHeaderView::~CheckBoxHeaderView() = default;

QRect CheckBoxHeaderView::boxRect(int section) const
{
    // The section's own position, so the box moves with a scrolled header.
    return QRect(sectionViewportPosition(section) + kBoxOffset, kBoxTop, kBoxSize, kBoxSize);
}

bool CheckBoxHeaderView::showsHttpsBox() const
{
    const CheckBoxTableModel* model = CheckBoxTableModel::FromViewModel(this->model());
    return model && model->drawsHttpsBoxes();
}

void CheckBoxHeaderView::mousePressEvent(QMouseEvent* event)
{
    const int position = orientation() == Qt::Horizontal ? event->pos().x() : event->pos().y();
    const int section = logicalIndex(visualIndexAt(position));
    if (section >= 0 && section == m_checkSection && boxRect(section).contains(event->pos())) {
        m_checkState = Toggled(m_checkState);
        updateSection(section);
        emit updateHeadCheckStateToModel(static_cast<Qt::CheckState>(m_checkState));
        return;
    }
    if (section >= 0 && section == m_httpsSection && showsHttpsBox() && boxRect(section).contains(event->pos())) {
        m_httpsState = Toggled(m_httpsState);
        updateSection(section);
        emit updateHeadHttpsCheckStateToModel(static_cast<Qt::CheckState>(m_httpsState));
        return;
    }
    QHeaderView::mousePressEvent(event);
}

void CheckBoxHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (logicalIndex == m_checkSection)
        PaintBoxSection(painter, rect, logicalIndex, m_checkState);
    else if (logicalIndex == m_httpsSection && showsHttpsBox())
        PaintBoxSection(painter, rect, logicalIndex, m_httpsState);
    else
        QHeaderView::paintSection(painter, rect, logicalIndex);
}

void CheckBoxHeaderView::PaintBoxSection(QPainter* painter, const QRect& rect, int logicalIndex, int state) const
{
    const QRect box(rect.x() + kBoxOffset, rect.y() + kBoxTop, kBoxSize, kBoxSize);
    painter->save();
    QHeaderView::paintSection(
        painter, QRect(box.right() + 1, rect.y(), rect.width() - kBoxSize, rect.height()), logicalIndex);
    painter->restore();

    QStyleOptionButton option;
    option.rect = box;
    option.state = QStyle::State_Enabled;
    if (state == Qt::Checked)
        option.state |= QStyle::State_On;
    else if (state == Qt::PartiallyChecked)
        option.state |= QStyle::State_NoChange;
    else
        option.state |= QStyle::State_Off;
    QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter);
}
