#!/usr/bin/python3
"""Writes the workbooks that python3-openpyxl makes, which are also the
sources LibreOffice and Gnumeric convert (make_converted.sh).

    /usr/bin/python3 tests/data/workbooks/make_sources.py

openpyxl stores formulas without a cached result: in its own files they
read as empty; the converters compute them.
"""
import datetime
import os

import openpyxl
from openpyxl.utils.datetime import CALENDAR_MAC_1904

HERE = os.path.dirname(os.path.abspath(__file__))


def shop():
    wb = openpyxl.Workbook()
    notes = wb.active
    notes.title = 'Notas'
    notes['A1'] = 'no es la hoja activa'
    ws = wb.create_sheet('Fotos')
    hidden = wb.create_sheet('Oculta')
    hidden['A1'] = 'oculta'
    hidden.sheet_state = 'hidden'

    rows = [
        ('Origen', 'Destino'),
        (12345, 'camisa-azul'),
        (12345678901, 'Niño ñandú'),
        (-7, '  espacios  '),
        (1.29, '漢字テスト 😀'),
        (1234567.89012345, 'Doble  espacio   triple'),
        (0.001, 'línea\nsegunda'),
        (12345678901234567, 'barra \\ invertida'),
        (0.00001, 'tab\tdentro'),
    ]
    for r, (a, b) in enumerate(rows, start=1):
        ws.cell(r, 1, a)
        ws.cell(r, 2, b)
    ws['A10'] = datetime.datetime(2005, 2, 23)
    ws['A10'].number_format = 'd/m/yyyy'
    ws['A11'] = datetime.datetime(2005, 2, 23, 17, 47, 13)
    ws['A11'].number_format = 'yyyy-mm-dd hh:mm:ss'
    ws['A12'] = datetime.time(17, 47, 13)
    ws['A12'].number_format = 'h:mm:ss'
    ws['B12'] = datetime.time(6, 5, 0)
    ws['B12'].number_format = 'h:mm AM/PM'
    ws['A13'] = True
    ws['B13'] = False
    ws['A14'] = '=1/0'
    ws['B14'] = '=NA()'
    ws['A15'] = '=A2*2'
    ws['B15'] = '="foto-"&A2'
    ws['C15'] = '=A2>1'
    ws['D15'] = '=""'
    ws['A16'] = 38406
    ws['A16'].number_format = 'mm-dd-yy'      # built-in 14
    ws['A17'] = 0.25
    ws['A17'].number_format = '0%'            # built-in 9
    ws['A18'] = 3.5
    ws['A18'].number_format = '#,##0.00 [$€-407]'
    ws['A19'] = 1.5
    ws['A19'].number_format = '0.0 "días"'
    ws['A21'] = 'después del hueco'
    ws['Z2'] = 'columna Z'
    for r in (23, 24, 25):                     # equal rows: LibreOffice repeats one
        ws.cell(r, 1, 'igual')
        ws.cell(r, 2, 7)
    ws['A1000'] = 'lejos'
    wb.active = 1
    for sheet in wb.worksheets:
        sheet.sheet_view.tabSelected = sheet.title == 'Fotos'
    wb.save(os.path.join(HERE, 'openpyxl_shop.xlsx'))


def mac_dates():
    wb = openpyxl.Workbook()
    wb.epoch = CALENDAR_MAC_1904
    ws = wb.active
    ws.title = 'Mac'
    ws['A1'] = datetime.datetime(1904, 1, 1)
    ws['A2'] = datetime.datetime(2005, 2, 23)
    ws['A3'] = datetime.datetime(2005, 2, 23, 12, 0, 0)
    ws['A4'] = 38406
    for cell in ('A1', 'A2', 'A4'):
        ws[cell].number_format = 'd/m/yyyy'
    ws['A3'].number_format = 'd/m/yyyy h:mm:ss'
    ws['B1'] = 'fechas de 1904'
    wb.save(os.path.join(HERE, 'openpyxl_1904.xlsx'))


def iso_dates():
    """Dates and times stored as ISO 8601 text in date cells (t="d"), as
    Excel writes times and openpyxl writes with iso_dates."""
    wb = openpyxl.Workbook(iso_dates=True)
    ws = wb.active
    ws.title = 'Horas'
    ws['A1'] = datetime.time(10, 10, 10)
    ws['B1'] = 'hora sola'
    ws['A2'] = datetime.datetime(2024, 5, 1, 10, 10, 10)
    ws['A3'] = datetime.date(2024, 5, 1)
    ws['A4'] = datetime.time(0, 0, 0)
    ws['A5'] = datetime.time(17, 47, 13)
    ws['A5'].number_format = 'h:mm AM/PM'
    wb.save(os.path.join(HERE, 'openpyxl_iso_dates.xlsx'))


def main():
    shop()
    mac_dates()
    iso_dates()


if __name__ == '__main__':
    main()
