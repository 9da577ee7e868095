#!/usr/bin/python3
"""Writes the files the reader must refuse, next to the valid fixtures.

Run after make_xlwt.py (the cut-off copies are made from xlwt.xls):
    /usr/bin/python3 tests/data/xls/make_damaged.py
The messages expected for them are in tests/core/tst_xlsreader.cpp.
"""
import io
import os
import random
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


def main():
    valid = open(os.path.join(HERE, 'xlwt.xls'), 'rb').read()
    # Cut inside the header, right after it, and in the middle of the workbook
    # stream (the allocation table and directory come last in xlwt's layout).
    for cut in (300, 512, len(valid) // 2):
        write('truncated_%d.xls' % cut, valid[:cut])

    write('empty.xls', b'')

    package = io.BytesIO()
    with zipfile.ZipFile(package, 'w', zipfile.ZIP_DEFLATED) as z:
        for name, text in (
                ('[Content_Types].xml', '<?xml version="1.0"?><Types/>'),
                ('xl/workbook.xml', '<?xml version="1.0"?><workbook/>'),
                ('xl/worksheets/sheet1.xml', '<?xml version="1.0"?><worksheet/>')):
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            z.writestr(info, text)
    write('xlsx_renamed.xls', package.getvalue())

    rng = random.Random(20240611)
    write('random.xls', bytes(rng.randrange(256) for _ in range(4096)))

    # Web pages and text files saved with an .xls name, as some exports do.
    write('html.xls', '<html><body><table><tr><td>origen</td><td>destino</td></tr>'
                      '</table></body></html>\n'.encode('utf-8'))
    write('csv.xls', 'origen;destino\r\n12345;camisa-azul\r\n'.encode('utf-8'))


if __name__ == '__main__':
    main()
