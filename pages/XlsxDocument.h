#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QVariant>

// The few workbook calls the Excel export needs, over libxlsxwriter: one
// worksheet, column widths, row formats and cells, saved at once. Rows and
// columns count from 1. Not shared between threads; two documents may be
// written at the same time.
namespace Xlsx
{
class Format
{
public:
    void setHorizontalAlignment(Qt::Alignment alignment) { m_horizontal = alignment & Qt::AlignHorizontal_Mask; }
    void setVerticalAlignment(Qt::Alignment alignment) { m_vertical = alignment & Qt::AlignVertical_Mask; }
    Qt::Alignment horizontalAlignment() const { return m_horizontal; }
    Qt::Alignment verticalAlignment() const { return m_vertical; }
    bool isEmpty() const { return !m_horizontal && !m_vertical; }

private:
    Qt::Alignment m_horizontal;
    Qt::Alignment m_vertical;
};

class Document
{
public:
    bool setColumnWidth(int column, double width);
    bool setRowFormat(int row, const Format& format);
    // Numbers are written as numbers, everything else as text; an empty text
    // leaves the cell empty.
    bool write(int row, int column, const QVariant& value, const Format& format = Format());
    // Writes the workbook; false when it could not be written whole.
    bool saveAs(const QString& fileName) const;

private:
    struct Cell
    {
        QVariant value;
        Format format;
    };
    QMap<int, double> m_columnWidths;
    QMap<int, Format> m_rowFormats;
    QMap<QPair<int, int>, Cell> m_cells;
};
} // namespace Xlsx
