#!/usr/bin/python3
"""Writes the benchmark workbook: ROWS rows of two columns (a product code
and a photo name), as python3-openpyxl writes an .xlsx, and the same rows as
a .csv.

    /usr/bin/python3 bench/make_rows_workbook.py OUT.xlsx OUT.csv [ROWS]
"""
import csv
import sys

import openpyxl


def main():
    xlsx, text, rows = sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 100000
    wb = openpyxl.Workbook(write_only=True)
    ws = wb.create_sheet('Fotos')
    with open(text, 'w', encoding='utf-8', newline='') as f:
        out = csv.writer(f, delimiter=';')
        for i in range(1, rows + 1):
            row = [100000 + i, 'camisa-%06d-azul' % i]
            ws.append(row)
            out.writerow(row)
    wb.save(xlsx)


if __name__ == '__main__':
    main()
