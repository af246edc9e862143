#!/usr/bin/env python3
"""Prints what an .xlsx workbook holds, as JSON, read by an independent reader
(openpyxl): the sheet count, each row's cells with their types, the column
widths, and each row's and cell's alignment."""
import json
import sys

import openpyxl
from openpyxl.utils import get_column_letter


def cell_of(cell):
    value = cell.value
    if value is None:
        kind = "empty"
    elif isinstance(value, bool):
        kind = "bool"
    elif isinstance(value, (int, float)):
        kind = "number"
    else:
        kind = "text"
    return {
        "type": kind,
        "value": value,
        "horizontal": cell.alignment.horizontal,
        "vertical": cell.alignment.vertical,
    }


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    sheet = book.worksheets[0]
    rows = []
    for row in sheet.iter_rows(min_row=1, max_row=sheet.max_row, max_col=sheet.max_column):
        rows.append([cell_of(cell) for cell in row])
    widths = {}
    for column in range(1, 16):
        letter = get_column_letter(column)
        if letter in sheet.column_dimensions and sheet.column_dimensions[letter].customWidth:
            widths[letter] = sheet.column_dimensions[letter].width
    row_formats = {}
    for index, dimension in sheet.row_dimensions.items():
        if dimension.s:
            row_formats[str(index)] = {
                "horizontal": dimension.alignment.horizontal if dimension.alignment else None,
                "vertical": dimension.alignment.vertical if dimension.alignment else None,
            }
    json.dump({"sheets": len(book.worksheets), "maxColumn": sheet.max_column, "rows": rows,
               "widths": widths, "rowFormats": row_formats}, sys.stdout)


if __name__ == "__main__":
    main()
