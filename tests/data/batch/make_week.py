#!/usr/bin/python3
"""Writes semana.xlsx: a shop's week as its own sheet lays it out, codes in
column A and photo names in column B from row 2, one row each, with the
traps a real week holds: a photo named after its code, two rows with one
code, a code holding "/", a name with an accent, a line break in a cell, a
blank row with more products below it, and a row naming what an earlier row
writes. What each row must give is written out in
tests/core/tst_trustedweek.cpp, which also writes the same rows as a
Spanish-Excel .csv.

Run with Debian's interpreter, which has python3-openpyxl:
    /usr/bin/python3 tests/data/batch/make_week.py
"""
import os

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))

ROWS = [
    ("Código", "Foto"),
    ("TAZA-01", "IMG_0001"),
    ("IMG_0002", "IMG_0002"),
    ("VELA-01", "IMG_0003"),
    ("VELA-01", "IMG_0004"),
    ("CAM/ROJA", "IMG_0005"),
    ("Bolso señora", "Bolso señora"),
    ("LÍNEA\nFALSA", "IMG_0009"),
    (None, None),
    ("GORRA-01", "IMG_0006"),
    ("GORRA-02", "VELA-01"),
]

book = openpyxl.Workbook()
sheet = book.active
sheet.title = "Semana"
for number, (code, photo) in enumerate(ROWS, start=1):
    sheet.cell(row=number, column=1, value=code)
    sheet.cell(row=number, column=2, value=photo)
book.save(os.path.join(HERE, "semana.xlsx"))
