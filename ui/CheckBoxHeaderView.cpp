#include "CheckBoxHeaderView.h"

#include "CheckBoxTableModel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace
{
// The box keeps the section's own padding from the column line, and sits
// in the middle of the header's height.
constexpr int kBoxOffset = 5;
constexpr int kBoxSize = 12;
// Between the label and the sort arrow.
constexpr int kArrowGap = 4;

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
    return QRect(sectionViewportPosition(section) + kBoxOffset, (height() - kBoxSize) / 2, kBoxSize, kBoxSize);
}

bool CheckBoxHeaderView::hasBox(int section) const
{
    return section == m_checkSection || (section == m_httpsSection && showsHttpsBox());
}

bool CheckBoxHeaderView::showsHttpsBox() const
{
    const CheckBoxTableModel* model = CheckBoxTableModel::FromViewModel(this->model());
    return model && model->drawsHttpsBoxes();
}

QRect CheckBoxHeaderView::labelRect(int section) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.section = section;
    option.rect = QRect(sectionViewportPosition(section), 0, sectionSize(section), height());
    if (hasBox(section))
        option.rect.setLeft(option.rect.left() + kBoxOffset + kBoxSize);
    if (model())
        option.text = model()->headerData(section, orientation()).toString();
    if (isSortIndicatorShown() && sortIndicatorSection() == section)
        option.sortIndicator
            = sortIndicatorOrder() == Qt::AscendingOrder ? QStyleOptionHeader::SortDown : QStyleOptionHeader::SortUp;
    return style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
}

QFont CheckBoxHeaderView::sectionFont() const
{
    // "font: bold 14px" of the sheet's section rule.
    QFont font = this->font();
    font.setBold(true);
    font.setPixelSize(14);
    return font;
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

QSize CheckBoxHeaderView::sectionSizeFromContents(int logicalIndex) const
{
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    // The label is centred in the whole section while the sort arrow (which
    // any section may show) sits at its right: the base size leaves room for
    // the arrow once, which lets a centred label touch it. Add the arrow and
    // a gap once more, and the box where there is one.
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = QRect(0, 0, size.width(), height());
    option.sortIndicator = QStyleOptionHeader::SortDown;
    if (isSortIndicatorShown())
        size.rwidth() += style()->subElementRect(QStyle::SE_HeaderArrow, &option, this).width() + kArrowGap;
    if (hasBox(logicalIndex))
        size.rwidth() += kBoxOffset + kBoxSize;
    return size;
}

void CheckBoxHeaderView::PaintBoxSection(QPainter* painter, const QRect& rect, int logicalIndex, int state) const
{
    const QRect box(rect.x() + kBoxOffset, rect.y() + (rect.height() - kBoxSize) / 2, kBoxSize, kBoxSize);
    // The whole section's background and lines first; the label then goes
    // into the part right of the box, which ends where the section ends.
    QStyleOptionHeader background;
    initStyleOption(&background);
    background.rect = rect;
    background.section = logicalIndex;
    painter->save();
    style()->drawControl(QStyle::CE_HeaderSection, &background, painter, this);
    painter->restore();
    painter->save();
    QHeaderView::paintSection(painter, rect.adjusted(kBoxOffset + kBoxSize, 0, 0, 0), logicalIndex);
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
