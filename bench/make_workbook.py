#!/usr/bin/python3
"""Writes the benchmark's workbook from lista.tsv: destination names in column
A, source names in column F, rows 6, 10, 14, ... (the program's defaults).

    make_workbook.py LISTA.tsv LIBRO.xls [ROWS]

With ROWS larger than the list, the list is repeated, for long runs over the
same photos."""
import sys

import xlwt

rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1], encoding="utf-8") if line.strip()]
rows = [r for r in rows if r[2] == ".jpg"]
wanted = int(sys.argv[3]) if len(sys.argv) > 3 else len(rows)
book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Lote")
sheet.write(3, 0, "Código web")
sheet.write(3, 5, "Foto")
for i in range(wanted):
    name, code, _ = rows[i % len(rows)]
    if i >= len(rows):
        code = "%s-%d" % (code, i // len(rows))
    sheet.write(5 + 4 * i, 0, code)
    sheet.write(5 + 4 * i, 5, name)
book.save(sys.argv[2])
