#!/usr/bin/python3
"""Makes the sheets the spreadsheet helper's tests read. Run once from this
folder; the outputs are committed. openpyxl writes inline strings; the same
sheet converted by LibreOffice gives libreoffice.xlsx (shared strings) and
openpyxl.xls. freexl-overread.xls is an input the .xls fuzzer found."""
import io
import zipfile

import openpyxl

# A sheet as another common tool writes it: shared strings, a number that
# is not whole, a row that skips a cell, an empty row.
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Messages"
ws.append(["help id", "RULE NAME", "Rule Category", "Custom Message"])
ws.append([1234, "Minimum Hole Diameter", "Sheet Metal", "Check the punch size."])
ws.append([12.5, "Minimum Clearance", "Assembly", None])
ws["A5"] = 77
ws["C5"] = "Milling"
ws["D5"] = "Ä message with ümlauts, 日本語 and a tab\there"
wb.create_sheet("Second")["A1"] = "never read"
wb.save("openpyxl.xlsx")

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
<Override PartName="/xl/worksheets/data.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>
</Types>"""
ROOT_RELS = """<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>
</Relationships>"""
WORKBOOK = """<?xml version="1.0" encoding="UTF-8"?>
<x:workbook xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:rel="http://schemas.openxmlformats.org/officeDocument/2006/relationships">
<x:sheets><x:sheet name="Custom_Message" sheetId="1" rel:id="rId7"/></x:sheets></x:workbook>"""


def workbook_rels(shared):
    extra = ('<Relationship Id="rId8" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="/xl/strings.xml"/>'
             if shared else "")
    return ("""<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/data.xml"/>"""
            + extra + "</Relationships>")


def sheet(rows_xml):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><x:sheetData>'
            + rows_xml + '</x:sheetData></x:worksheet>').encode("utf-8")


def package(name, sheet_bytes, shared_strings=None, compress=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(name, "w", compress) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS)
        z.writestr("xl/workbook.xml", WORKBOOK)
        z.writestr("xl/_rels/workbook.xml.rels", workbook_rels(shared_strings is not None))
        z.writestr("xl/worksheets/data.xml", sheet_bytes)
        if shared_strings is not None:
            z.writestr("xl/strings.xml", shared_strings)


def inline(ref, text):
    return '<x:c r="%s" t="inlineStr"><x:is><x:t>%s</x:t></x:is></x:c>' % (ref, text)


# Inline strings, namespace prefixes, rich text runs, cells without
# references, cells out of order, an escaped character and a literal "_x".
package("inline.xlsx", sheet(
    '<x:row r="1">' + inline("A1", "Help ID") + inline("B1", "Rule Name") + inline("C1", "Rule Category")
    + inline("D1", "Custom Message") + '</x:row>'
    '<x:row r="2"><x:c><x:v>501</x:v></x:c><x:c t="inlineStr"><x:is><x:r><x:t>Bend </x:t></x:r><x:r><x:t>Radius</x:t></x:r></x:is></x:c>'
    + inline("C2", "Sheet Metal") + inline("D2", "Line one_x000A_line two _x005F_x0041_") + '</x:row>'
    '<x:row r="4">' + inline("D4", "last") + inline("B4", "Weld Gap") + '<x:c r="A4" t="str"><x:v>502</x:v></x:c></x:row>'))

# Control characters (raw and escaped) and bytes that are not UTF-8.
raw = sheet('<x:row r="1">' + inline("A1", "Help ID") + '</x:row><x:row r="2">' + inline("A2", "@@") + '</x:row>')
package("control.xlsx", raw.replace(b"@@", b"a\x01b_x0002_c\td\xff\xfee"))

# Shared strings that are missing, or referred to out of range.
package("no-shared-strings.xlsx", sheet('<x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v></x:c></x:row>'))
package("shared-index-out-of-range.xlsx", sheet('<x:row r="1"><x:c r="A1" t="s"><x:v>3</x:v></x:c></x:row>'),
        '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si><t>Help ID</t></si></sst>')

# Rows past the last row of a worksheet: one numbered too far, and one too
# many rows without numbers.
package("row-1048577.xlsx", sheet('<x:row r="1">' + inline("A1", "Help ID") + '</x:row>'
                                  '<x:row r="1048577"><x:c r="A1048577"><x:v>1</x:v></x:c></x:row>'))
package("rows-1048577.xlsx", sheet("<x:row/>" * 1048577))

# One data row at the last row of a worksheet: a reader must not pad the
# table (or the import log) with a million empty rows.
package("last-row.xlsx", sheet(
    '<x:row r="1">' + inline("A1", "Help ID") + inline("B1", "Rule Name") + inline("C1", "Rule Category")
    + inline("D1", "Custom Message") + '</x:row>'
    '<x:row r="1048576"><x:c r="A1048576"><x:v>999999</x:v></x:c>' + inline("B1048576", "Far Down")
    + inline("C1048576", "Nowhere") + inline("D1048576", "last row") + '</x:row>'))

# A zip bomb: a sheet part that unpacks to 300 MiB of spaces.
with zipfile.ZipFile("zip-bomb.xlsx", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    z.writestr("[Content_Types].xml", CONTENT_TYPES)
    z.writestr("_rels/.rels", ROOT_RELS)
    z.writestr("xl/workbook.xml", WORKBOOK)
    z.writestr("xl/_rels/workbook.xml.rels", workbook_rels(False))
    head = b'<?xml version="1.0"?><x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
    with z.open("xl/worksheets/data.xml", "w", force_zip64=True) as part:
        part.write(head)
        block = b" " * (1 << 20)
        for _ in range(300):
            part.write(block)
        part.write(b"</x:worksheet>")

with open("not-a-zip.xlsx", "wb") as f:
    f.write(b"Help ID,Rule Name,Rule Category,Custom Message\n1,a,b,c\n")

# The same sheet as .xls (and a copy of it cut short), and as LibreOffice
# writes .xlsx.
import os
import subprocess
import tempfile

with tempfile.TemporaryDirectory() as work:
    for target in ("xls", "xlsx:Calc Office Open XML"):
        subprocess.run(["soffice", "-env:UserInstallation=file://" + work + "/profile", "--headless",
                        "--norestore", "--convert-to", target, "--outdir", work, "openpyxl.xlsx"], check=True)
    with open(os.path.join(work, "openpyxl.xlsx"), "rb") as f:
        shared = f.read()
    with open(os.path.join(work, "openpyxl.xls"), "rb") as f:
        xls = f.read()
with open("libreoffice.xlsx", "wb") as f:
    f.write(shared)
with open("openpyxl.xls", "wb") as f:
    f.write(xls)
with open("truncated.xls", "wb") as f:
    f.write(xls[:len(xls) // 2])
