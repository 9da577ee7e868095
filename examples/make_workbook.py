#!/usr/bin/python3
"""Writes the example workbook: destination names in column A, source photo
names (without extension) in column F, on rows 6, 10, 14, ... 34; row 38 is
empty in both columns, which ends the batch.

Usage: /usr/bin/python3 examples/make_workbook.py [OUT.xls]
"""
import os
import sys

import xlwt

# (row as Excel numbers it, destination, description, price, source).
# A source given as int is stored as a number cell, as str as a text cell,
# None leaves F empty.
ROWS = [
    (6, "TAZA-01", "Taza de cerámica roja, 350 ml", 8.95, 12345),
    (10, "Bolso_02", "Bolso de piel con solapa", 49.90, "12346"),
    (14, "CAJA-03", "Caja de cartón para envíos", 2.50, 20001),
    (18, "Bote_04", "Bote de aceitunas, 400 g", 3.75, "20002"),
    (22, "Pelota05", "Pelota de baloncesto", 19.99, 99999),  # no such photo
    (26, "Vela-06", "Vela aromática (sin foto todavía)", 6.50, None),
    (30, "Botella7", "Aceite de oliva virgen extra, 750 ml", 11.20, 20003),
    (34, "Cesta_08", "Cesta de mimbre con manzanas", 24.00, "30001"),
]

COL_A, COL_B, COL_C, COL_F = 0, 1, 2, 5


def build():
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Catálogo")
    title = xlwt.easyxf("font: bold on, height 280")
    head = xlwt.easyxf("font: bold on; borders: bottom thin")
    price = xlwt.easyxf(num_format_str="#,##0.00")

    sheet.write(0, COL_A, "Catálogo de ejemplo", title)
    sheet.write(1, COL_A, "Fotos en la columna F, nombre web en la columna A, una fila de cada cuatro")
    sheet.write(3, COL_A, "Código web", head)
    sheet.write(3, COL_B, "Descripción", head)
    sheet.write(3, COL_C, "Precio", head)
    sheet.write(3, COL_F, "Foto", head)

    for row, dest, text, amount, source in ROWS:
        r = row - 1  # xlwt counts rows from 0
        sheet.write(r, COL_A, dest)
        sheet.write(r, COL_B, text)
        sheet.write(r, COL_C, amount, price)
        if source is not None:
            sheet.write(r, COL_F, source)

    for col, width in ((COL_A, 14), (COL_B, 38), (COL_C, 10), (COL_F, 10)):
        sheet.col(col).width = width * 256
    return book


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "catalogo.xls")
    build().save(out)
    print(out)


if __name__ == "__main__":
    main()
