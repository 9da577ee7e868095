#!/usr/bin/python3
"""Writes NAME.es.cells and NAME.C.cells beside each converted or openpyxl
workbook: what `fotolista-batch cells NAME` must print under es_ES.UTF-8 and
C.UTF-8, as independent readers see the file: python3-openpyxl (cached values,
its active sheet) for .xlsx, python3-odf for .ods, with the program's cell
text rules applied here.

    /usr/bin/python3 tests/data/workbooks/make_expected.py
"""
import datetime
import glob
import os

import openpyxl
from openpyxl.utils.datetime import CALENDAR_MAC_1904
from openpyxl.utils import get_column_letter
from odf import opendocument, teletype
from odf.namespaces import CONFIGNS, OFFICENS, TABLENS, TEXTNS
from odf.table import Table, TableRow

HERE = os.path.dirname(os.path.abspath(__file__))
MONTHS = 'Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec'.split()


def number_text(value, spanish):
    if value == 0:
        return '0'
    text = '%.15G' % value
    return text.replace('.', ',') if spanish else text


def time_text(t, spanish):
    return ('%d:%02d:%02d' if spanish else '%02d:%02d:%02d') % (t.hour, t.minute, t.second)


def date_text(d, spanish):
    if spanish:
        text = '%d/%d/%02d' % (d.day, d.month, d.year % 100)
    else:
        text = '%d %s %d' % (d.day, MONTHS[d.month - 1], d.year)
    if isinstance(d, datetime.datetime) and d.time() != datetime.time(0):
        text += ' ' + time_text(d, spanish)
    return text


def rounded(d):
    # The program shows whole seconds.
    if isinstance(d, datetime.datetime):
        return (d + datetime.timedelta(microseconds=500000)).replace(microsecond=0)
    return d


def value_text(value, spanish):
    if value is None:
        return ''
    if isinstance(value, bool):
        return 'Verdadero' if value else 'Falso'
    if isinstance(value, (int, float)):
        return number_text(value, spanish)
    if isinstance(value, datetime.datetime):
        return date_text(rounded(value), spanish)
    if isinstance(value, datetime.date):
        return date_text(value, spanish)
    if isinstance(value, datetime.time):
        return time_text(value, spanish)
    return str(value)


def escape(text):
    return text.replace('\\', '\\\\').replace('\t', '\\t').replace('\n', '\\n').replace('\r', '\\r')


def xlsx_cells(path):
    wb = openpyxl.load_workbook(path, data_only=True)
    mac = wb.epoch == CALENDAR_MAC_1904
    for row in wb.active.iter_rows():
        for cell in row:
            value = cell.value
            # openpyxl reads day 0 of the 1904 system as a time of day; with a
            # date format Excel shows it as 1 Jan 1904.
            if mac and isinstance(value, datetime.time) and any(c in cell.number_format.lower() for c in 'dy'):
                value = datetime.datetime.combine(datetime.date(1904, 1, 1), value)
            if value is not None:
                yield cell.row, cell.column, value


def elements(node):
    return [n for n in node.childNodes if n.nodeType == n.ELEMENT_NODE]


def ods_active_table(doc):
    for item_set in elements(doc.settings) if doc.settings else []:
        if item_set.getAttrNS(CONFIGNS, 'name') != 'ooo:view-settings':
            continue
        for views in elements(item_set):
            if views.getAttrNS(CONFIGNS, 'name') != 'Views':
                continue
            for entry in elements(views)[:1]:
                for item in elements(entry):
                    if item.qname == (CONFIGNS, 'config-item') and item.getAttrNS(CONFIGNS, 'name') == 'ActiveTable':
                        return teletype.extractText(item)
    return None


def ods_value(cell):
    kind = cell.getAttrNS(OFFICENS, 'value-type')
    paragraphs = [teletype.extractText(p) for p in elements(cell) if p.qname == (TEXTNS, 'p')]
    shown = '\n'.join(paragraphs)
    if cell.getAttrNS('urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0', 'value-type') == 'error':
        return shown
    if kind in ('float', 'percentage', 'currency'):
        return float(cell.getAttrNS(OFFICENS, 'value'))
    if kind == 'boolean':
        return cell.getAttrNS(OFFICENS, 'boolean-value') == 'true'
    if kind == 'date':
        return datetime.datetime.fromisoformat(cell.getAttrNS(OFFICENS, 'date-value'))
    if kind == 'time':
        duration = cell.getAttrNS(OFFICENS, 'time-value')  # PTxxHxxMxxS
        h, rest = duration[2:].split('H')
        m, rest = rest.split('M')
        s = float(rest.rstrip('S'))
        total = int(round(int(h) * 3600 + int(m) * 60 + s))
        return datetime.time(total // 3600, total // 60 % 60, total % 60)
    if kind == 'string':
        string_value = cell.getAttrNS(OFFICENS, 'string-value')
        return string_value if string_value is not None else shown
    if cell.getAttrNS(TABLENS, 'formula'):
        return None
    return shown or None


def ods_cells(path):
    doc = opendocument.load(path)
    tables = doc.body.getElementsByType(Table)
    wanted = ods_active_table(doc)
    table = next((t for t in tables if t.getAttrNS(TABLENS, 'name') == wanted), tables[0])
    row_number = 0
    for row in table.getElementsByType(TableRow):
        rows = int(row.getAttrNS(TABLENS, 'number-rows-repeated') or 1)
        column = 0
        found = []
        for cell in elements(row):
            if cell.qname not in ((TABLENS, 'table-cell'), (TABLENS, 'covered-table-cell')):
                continue
            columns = int(cell.getAttrNS(TABLENS, 'number-columns-repeated') or 1)
            value = ods_value(cell)
            if value is not None and value != '':
                found += [(column + k, value) for k in range(columns)]
            column += columns
        for r in range(rows if found else 0):
            for c, value in found:
                yield row_number + r + 1, c + 1, value
        row_number += rows


def main():
    # Only the workbooks other programs wrote: the handmade and damaged ones
    # have their expected cells in the tests.
    paths = [p for prefix in ('gnm_', 'lo_', 'openpyxl_') for ext in ('xlsx', 'ods')
             for p in glob.glob(os.path.join(HERE, prefix + '*.' + ext))]
    for path in sorted(paths):
        cells = list(xlsx_cells(path) if path.endswith('.xlsx') else ods_cells(path))
        for locale, spanish in (('es', True), ('C', False)):
            lines = []
            for row, column, value in cells:
                text = value_text(value, spanish)
                if text:
                    lines.append('%s%d\t%s\n' % (get_column_letter(column), row, escape(text)))
            with open(path + '.%s.cells' % locale, 'w', encoding='utf-8', newline='') as f:
                f.writelines(lines)


if __name__ == '__main__':
    main()
