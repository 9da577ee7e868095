#!/usr/bin/python3
"""Writes hostile.xls: a batch whose names try what a shop's workbook may
hold by mistake or on purpose. Destinations in column A, sources in column F,
rows 6, 10, 14, ... 26; row 30 is empty and ends the batch. The photos it
names are made by the tests (12345, 20001, "foto con espacios" and the
markup one).

Run with Debian's interpreter, which has python3-xlwt:
    /usr/bin/python3 tests/data/batch/make_hostile.py
"""
import os

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
MARKUP = '"><img src=x onerror=alert(1)>'

ROWS = [
    (6, "TAZA-01", 12345),
    (10, MARKUP, MARKUP),
    (14, "Año #1 50% ¿?&x", "foto con espacios"),
    (18, "Tab\there\nnueva", "12345"),
    (22, "TAZA-01", 20001),
    (26, "Fuera", "..\\fotos\\12345"),
]

book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Lote")
for row, destination, source in ROWS:
    sheet.write(row - 1, 0, destination)
    sheet.write(row - 1, 5, source)
book.save(os.path.join(HERE, "hostile.xls"))
