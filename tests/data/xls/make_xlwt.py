#!/usr/bin/python3
"""Writes the xlwt fixtures (BIFF8, as the python-xlwt package saves them).

Run with Debian's interpreter, which has python3-xlwt:
    /usr/bin/python3 tests/data/xls/make_xlwt.py
The cell texts the reader must return are listed in tests/core/tst_xlsreader.cpp.
"""
import datetime as dt
import os

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))


def long_latin(n):
    # Long enough that the shared-string table splits it over a CONTINUE record.
    return ''.join(chr(ord('a') + i % 26) for i in range(n))


def long_wide(n):
    # Non-Latin text is stored with 16-bit characters; the split lands inside it too.
    return ''.join('漢字かなΩ'[i % 5] for i in range(n))


def style(num_format):
    s = xlwt.XFStyle()
    s.num_format_str = num_format
    return s


def main_workbook():
    wb = xlwt.Workbook(encoding='utf-8')
    first = wb.add_sheet('Portada')
    first.write(0, 0, 'no es la hoja activa')
    first.write(1, 0, 12345)
    ws = wb.add_sheet('Fotos')
    last = wb.add_sheet('Otra')
    last.write(0, 0, 'tampoco')

    ws.write(0, 0, 'Origen')
    ws.write(0, 1, 'Destino')
    ws.write(1, 0, 12345)                      # RK integer
    ws.write(1, 1, 'camisa-azul')
    for col, value in ((2, 1), (3, 2), (4, 3)):  # adjacent RKs become one MULRK
        ws.write(1, col, value)
    ws.write(2, 0, 12345678901)                # too wide for RK: NUMBER
    ws.write(2, 1, 'Niño ñandú')
    ws.write(3, 0, -7)
    ws.write(3, 1, 'Café crème')
    ws.write(4, 0, 1.29)                       # RK scaled by 100
    ws.write(4, 1, '漢字テスト')
    ws.write(5, 0, 1234567.89012345)           # NUMBER with 15 significant digits
    ws.write(5, 1, 'Ελληνικά')
    ws.write(6, 0, 0.001)
    ws.write(6, 1, '  espacios  ')
    ws.write(7, 0, 12345678901234567)
    ws.write(7, 1, '\tTab\r\nCRLF ')
    ws.write(8, 0, 0.00001)
    ws.write(8, 1, 0.0001)
    ws.write(9, 0, dt.date(2005, 2, 23), style('D/M/YYYY'))
    ws.write(10, 0, dt.datetime(2005, 2, 23, 17, 47, 13), style('D/M/YYYY h:mm:ss'))
    ws.write(11, 0, dt.time(17, 47, 13), style('h:mm:ss'))
    ws.write(12, 0, True)
    ws.write(12, 1, False)
    # By code: xlwt's own name table maps '#VALUE!' to the wrong code.
    ws.row(13).set_cell_error(0, 0x07)   # #DIV/0!
    ws.row(13).set_cell_error(1, 0x2A)   # #N/A
    ws.row(13).set_cell_error(2, 0x0F)   # #VALUE!
    ws.write(14, 0, 3.5, style('0.0 "días"'))          # quoted letters are not a date
    ws.write(15, 0, -2.5, style('[Red]0.00'))         # a colour is not a date
    ws.write(16, 0, 1000.3, style('#,##0.00 [$€-407]'))
    ws.write(17, 0, 12, style('0\\h'))                 # an escaped letter is not a date
    ws.write(18, 0, long_latin(9000))
    ws.write(19, 0, long_wide(5000))
    red = xlwt.Font()
    red.colour_index = 2
    ws.write_rich_text(20, 0, [('Rojo', red), ' y normal'])
    ws.write(21, 0, dt.date(1900, 1, 1), style('D/M/YYYY'))
    ws.write(22, 0, dt.date(1900, 2, 28), style('D/M/YYYY'))
    ws.write(23, 0, dt.date(1900, 3, 1), style('D/M/YYYY'))
    ws.write(24, 0, 60, style('D/M/YYYY'))            # Excel's 29 February 1900
    ws.write(25, 0, 0.1 + 0.2)
    ws.write(26, 0, '')                               # xlwt writes a BLANK
    ws.write(27, 0, 'after the blank')
    ws.write(27, 2, 'C28')
    wb.active_sheet = 1
    wb.save(os.path.join(HERE, 'xlwt.xls'))


def mac_workbook():
    wb = xlwt.Workbook(encoding='utf-8')
    wb.dates_1904 = True
    ws = wb.add_sheet('Mac')
    ws.write(0, 0, dt.date(1904, 1, 1), style('D/M/YYYY'))
    ws.write(1, 0, dt.date(2005, 2, 23), style('D/M/YYYY'))
    ws.write(2, 0, dt.datetime(1904, 1, 1, 12, 0, 0), style('D/M/YYYY h:mm'))
    ws.write(3, 0, 0.27361111111111114, style('h:mm'))
    ws.write(4, 0, 38406)
    wb.save(os.path.join(HERE, 'xlwt_1904.xls'))


if __name__ == '__main__':
    main_workbook()
    mac_workbook()
