#pragma once

#include <QHeaderView>

// Header of a device table: a tri-state check-all box in the check column's
// section and, for the search tables of two customers, an https box over
// column 2. The view keeps the states in step with the model.
class CheckBoxHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    explicit CheckBoxHeaderView(Qt::Orientation orientation, QWidget* parent = nullptr);
    ~CheckBoxHeaderView() override;

    // The 12 x 12 box of a section, in the middle of the header's height.
    QRect boxRect(int section) const;
    bool showsHttpsBox() const;
    // The check section, and the https section where its box is drawn.
    bool hasBox(int section) const;
    // Where a section's label is drawn, in viewport coordinates: beside the
    // sort arrow when the section shows it, right of its box when it has one.
    QRect labelRect(int section) const;
    // The font the style sheet gives the sections' labels.
    QFont sectionFont() const;
    // The view repaints a box section when the model's state changes.
    using QHeaderView::updateSection;

    int m_checkSection = 0;
    int m_checkState = Qt::Unchecked;
    int m_httpsSection = 2;
    int m_httpsState = Qt::Unchecked;

signals:
    void updateHeadCheckStateToModel(Qt::CheckState state);
    void updateHeadHttpsCheckStateToModel(Qt::CheckState state);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    void PaintBoxSection(QPainter* painter, const QRect& rect, int logicalIndex, int state) const;
};
