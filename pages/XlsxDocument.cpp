#include "XlsxDocument.h"

#include <QFile>

#include <xlsxwriter.h>

namespace Xlsx
{
namespace
{
// Far beyond a device list; keeps libxlsxwriter's own limits out of reach.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

bool InSheet(int row, int column)
{
    return row >= 1 && row <= kMaxRows && column >= 1 && column <= kMaxColumns;
}

lxw_format* MakeFormat(lxw_workbook* workbook, const Format& format)
{
    if (format.isEmpty())
        return nullptr;
    lxw_format* made = workbook_add_format(workbook);
    if (!made)
        return nullptr;
    const Qt::Alignment horizontal = format.horizontalAlignment();
    if (horizontal & Qt::AlignHCenter)
        format_set_align(made, LXW_ALIGN_CENTER);
    else if (horizontal & Qt::AlignLeft)
        format_set_align(made, LXW_ALIGN_LEFT);
    else if (horizontal & Qt::AlignRight)
        format_set_align(made, LXW_ALIGN_RIGHT);
    const Qt::Alignment vertical = format.verticalAlignment();
    if (vertical & Qt::AlignVCenter)
        format_set_align(made, LXW_ALIGN_VERTICAL_CENTER);
    else if (vertical & Qt::AlignTop)
        format_set_align(made, LXW_ALIGN_VERTICAL_TOP);
    else if (vertical & Qt::AlignBottom)
        format_set_align(made, LXW_ALIGN_VERTICAL_BOTTOM);
    return made;
}

bool IsNumber(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.type())) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort: return true;
    default: return false;
    }
}
} // namespace

bool Document::setColumnWidth(int column, double width)
{
    if (!InSheet(1, column) || width < 0)
        return false;
    m_columnWidths.insert(column, width);
    return true;
}

bool Document::setRowFormat(int row, const Format& format)
{
    if (!InSheet(row, 1))
        return false;
    m_rowFormats.insert(row, format);
    return true;
}

bool Document::write(int row, int column, const QVariant& value, const Format& format)
{
    if (!InSheet(row, column))
        return false;
    m_cells.insert(qMakePair(row, column), Cell { value, format });
    return true;
}

bool Document::saveAs(const QString& fileName) const
{
    if (fileName.isEmpty())
        return false;
    const QByteArray name = QFile::encodeName(fileName);
    lxw_workbook* workbook = workbook_new(name.constData());
    if (!workbook)
        return false;
    bool ok = true;
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    ok = sheet != nullptr;
    for (auto it = m_columnWidths.cbegin(); ok && it != m_columnWidths.cend(); ++it) {
        const auto column = static_cast<lxw_col_t>(it.key() - 1);
        ok = worksheet_set_column(sheet, column, column, it.value(), nullptr) == LXW_NO_ERROR;
    }
    for (auto it = m_rowFormats.cbegin(); ok && it != m_rowFormats.cend(); ++it) {
        ok = worksheet_set_row(
                 sheet, static_cast<lxw_row_t>(it.key() - 1), LXW_DEF_ROW_HEIGHT, MakeFormat(workbook, it.value()))
            == LXW_NO_ERROR;
    }
    for (auto it = m_cells.cbegin(); ok && it != m_cells.cend(); ++it) {
        const auto row = static_cast<lxw_row_t>(it.key().first - 1);
        const auto column = static_cast<lxw_col_t>(it.key().second - 1);
        lxw_format* format = MakeFormat(workbook, it.value().format);
        const QVariant& value = it.value().value;
        if (IsNumber(value)) {
            ok = worksheet_write_number(sheet, row, column, value.toDouble(), format) == LXW_NO_ERROR;
        } else {
            const QByteArray text = value.toString().toUtf8();
            if (!text.isEmpty())
                ok = worksheet_write_string(sheet, row, column, text.constData(), format) == LXW_NO_ERROR;
        }
    }
    // Closing writes the file and frees the workbook, also after a failure.
    const bool written = workbook_close(workbook) == LXW_NO_ERROR;
    if (ok && written)
        return true;
    // No half-written workbook is left to pass for a whole one.
    QFile::remove(fileName);
    return false;
}
} // namespace Xlsx
