#!/usr/bin/python3
"""Checks the layout of an exported custom-message sheet as another tool
reads it. usage: check_layout.py FILE ROWS (ROWS counts the header row).
Prints OK, or what is wrong (and exits 1)."""
import math
import sys

import openpyxl

path, rows = sys.argv[1], int(sys.argv[2])
wb = openpyxl.load_workbook(path)
problems = []
if wb.sheetnames != ["Custom_Message"]:
    problems.append("sheets %r" % wb.sheetnames)
ws = wb.worksheets[0]
for letter, width in zip("ABCD", (11, 45, 22, 40)):
    stored = ws.column_dimensions[letter].width
    # The stored width adds the cell padding to the width in characters.
    if stored is None or math.floor(stored) != width:
        problems.append("column %s width %r" % (letter, stored))
for row in ws.iter_rows(min_row=1, max_row=rows, max_col=4):
    for cell in row:
        if not cell.alignment.wrap_text or cell.alignment.vertical != "center":
            problems.append("%s alignment" % cell.coordinate)
        b = cell.border
        if any(side.style != "thin" for side in (b.left, b.right, b.top, b.bottom)):
            problems.append("%s border" % cell.coordinate)
for (cell,) in ws.iter_rows(min_row=2, max_row=rows, max_col=1):
    if cell.data_type != "n":
        problems.append("%s is not a number" % cell.coordinate)
if ws.max_row != rows:
    problems.append("%d rows" % ws.max_row)
print("OK" if not problems else "\n".join(problems[:20]))
sys.exit(1 if problems else 0)
