#!/usr/bin/python3
"""Writes the packages no spreadsheet program writes on purpose, piece by
piece: escapes, phonetic runs, odd relationship targets, the strict
namespaces, sheets that cannot be active, an .xlsb, OpenDocument text, a
password-protected .ods, damaged archives; and, in hostile/, files made to
exhaust a reader. What each must read is written out in
tests/core/tst_xlsxreader.cpp, tst_odsreader.cpp and tst_workbookfile.cpp.

    /usr/bin/python3 tests/data/workbooks/make_handmade.py
"""
import os
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
HOSTILE = os.path.join(HERE, 'hostile')
STAMP = (2024, 1, 1, 0, 0, 0)

MAIN = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
PKG = 'http://schemas.openxmlformats.org/package/2006/relationships'
STRICT_MAIN = 'http://purl.oclc.org/ooxml/spreadsheetml/main'
STRICT_REL = 'http://purl.oclc.org/ooxml/officeDocument/relationships'

CONTENT_TYPES = ('<?xml version="1.0" encoding="UTF-8"?>'
                 '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                 '<Default Extension="xml" ContentType="application/xml"/>'
                 '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                 '</Types>')


def write_zip(path, parts, compression=zipfile.ZIP_DEFLATED, level=None):
    with zipfile.ZipFile(path, 'w', compression, compresslevel=level) as z:
        for name, data in parts:
            info = zipfile.ZipInfo(name, date_time=STAMP)
            info.compress_type = compression
            z.writestr(info, data.encode('utf-8') if isinstance(data, str) else data)


def rels(items, ns=REL):
    body = ''.join('<Relationship Id="%s" Type="%s/%s" Target="%s"/>' % (i, ns, t, target) for i, t, target in items)
    return '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s">%s</Relationships>' % (PKG, body)


def xlsx(path, workbook, workbook_rels, parts, root_target='xl/workbook.xml', ns=REL):
    write_zip(path, [('[Content_Types].xml', CONTENT_TYPES),
                     ('_rels/.rels', rels([('rId1', 'officeDocument', root_target)], ns)),
                     ('xl/workbook.xml', workbook),
                     ('xl/_rels/workbook.xml.rels', workbook_rels)] + parts)


def sheet(cells, main=MAIN, prefix=''):
    return ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s" xmlns:r="%s">%s<sheetData>%s</sheetData></worksheet>'
            % (main, REL, prefix, cells))


def strings_xlsx():
    """Every kind of string and value a cell can hold, on one sheet."""
    sst = ('<?xml version="1.0" encoding="UTF-8"?><sst xmlns="%s" count="6" uniqueCount="6">'
           '<si><t>cero</t></si>'
           '<si><t>a_x000D__x000A_b_x0009_c</t></si>'
           '<si><t>_x005F_x0041_|_x00e9_|_x00C9_|_xD83D__xDE00_|_x12G4_|_x41_|_X0041_</t></si>'
           '<si><r><rPr><b/></rPr><t>Rojo</t></r><r><t xml:space="preserve"> y azul</t></r>'
           '<rPh sb="0" eb="1"><t>ロジョ</t></rPh><phoneticPr fontId="1"/></si>'
           '<si><t xml:space="preserve">  con espacios  </t></si>'
           '<si><t></t></si>'
           '</sst>') % MAIN
    cells = (
        '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c>'
        '<c r="D1" t="s"><v>3</v></c><c r="E1" t="s"><v>4</v></c><c r="F1" t="s"><v>5</v></c>'
        '<c r="G1" t="s"><v>99</v></c><c r="H1" t="s"><v>uno</v></c></row>'
        '<row r="2"><c r="A2" t="inlineStr"><is><t>en línea</t></is></c>'
        '<c r="B2" t="inlineStr"><is><r><t>ri</t></r><r><t>co_x0021_</t></r><rPh><t>x</t></rPh></is></c>'
        '<c r="C2" t="str"><f>"a"&amp;"b"</f><v>ab_x000A_c</v></c>'
        '<c r="D2" t="e"><v>#REF!</v></c><c r="E2" t="b"><v>1</v></c><c r="F2" t="b"><v>0</v></c>'
        '<c r="G2" t="d"><v>2005-02-23T17:47:13</v></c><c r="H2"><f>A3*2</f></c>'
        '<c r="I2" t="str"><f>""</f><v></v></c><c r="J2" t="n"><v> 42 </v></c><c r="K2"><v>x</v></c>'
        '<c r="L2" t="zz"><v>1</v></c></row>'
        # Rows and cells without an address follow the previous one.
        '<row><c><v>7</v></c><c><v>8</v></c><c r="E3"><v>9</v></c><c><v>10</v></c></row>'
        '<row r="5"><c r="A5" s="1"><v>38406.5</v></c><c r="B5" s="2"><v>0.5</v></c><c r="C5" s="3"><v>38406</v></c>'
        '<c r="D5" s="4"><v>38406</v></c><c r="E5" s="99"><v>38406</v></c></row>'
        '<row r="7"><c r="A7" t="s"><v>0</v></c><c r="A7" t="s"><v>4</v></c></row>'
        # Date cells: a time alone in its forms, a date with a time format, and
        # what is no date in this system, or none at all.
        '<row r="9"><c r="A9" t="d"><v>10:10:10</v></c><c r="B9" t="d" s="4"><v>T06:05:00.6Z</v></c>'
        '<c r="C9" t="d"><v>23:59</v></c><c r="D9" t="d" s="2"><v>2024-05-01T10:10:10</v></c>'
        '<c r="E9" t="d"><v>1899-12-30T10:10:10</v></c><c r="F9" t="d"><v>24:00:00</v></c>'
        '<c r="G9" t="d"><v>pronto_x0021_</v></c><c r="H9" t="d"><v></v></c></row>'
    )
    styles = ('<?xml version="1.0" encoding="UTF-8"?><styleSheet xmlns="%s">'
              '<numFmts count="2"><numFmt numFmtId="164" formatCode="dd/mm/yyyy\\ hh:mm"/>'
              '<numFmt numFmtId="165" formatCode="&quot;día&quot;\\ 0"/></numFmts>'
              '<cellStyleXfs count="1"><xf numFmtId="22"/></cellStyleXfs>'
              '<cellXfs count="5"><xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="20"/><xf numFmtId="165"/>'
              '<xf numFmtId="14"/></cellXfs></styleSheet>') % MAIN
    workbook = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="%s" xmlns:r="%s">'
                '<sheets><sheet name="Textos" sheetId="1" r:id="rId1"/></sheets></workbook>') % (MAIN, REL)
    xlsx(os.path.join(HERE, 'handmade_strings.xlsx'), workbook,
         rels([('rId1', 'worksheet', 'worksheets/sheet1.xml'), ('rId2', 'sharedStrings', 'sharedStrings.xml'),
               ('rId3', 'styles', 'styles.xml')]),
         [('xl/worksheets/sheet1.xml', sheet(cells)), ('xl/sharedStrings.xml', sst), ('xl/styles.xml', styles)])


def views_xlsx():
    """The active tab is a chart; the first sheet is hidden: the first visible
    worksheet is read. Targets are absolute, percent-encoded and upper-case."""
    workbook = ('<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="%s" xmlns:r="%s">'
                '<bookViews><workbookView activeTab="2"/><workbookView activeTab="3"/></bookViews>'
                '<sheets><sheet name="Oculta" sheetId="4" state="hidden" r:id="rId9"/>'
                '<sheet name="Primera visible" sheetId="1" r:id="rId7"/>'
                '<sheet name="Gráfico" sheetId="2" r:id="rId8"/>'
                '<sheet name="Última" sheetId="3" r:id="rId6"/></sheets></workbook>') % (MAIN, REL)
    workbook_rels = rels([('rId9', 'worksheet', '/xl/worksheets/oculta.xml'),
                          ('rId7', 'worksheet', '/xl/worksheets/hoja%20visible.xml'),
                          ('rId8', 'chartsheet', 'chartsheets/sheet1.xml'),
                          ('rId6', 'worksheet', './worksheets/../worksheets/ultima.xml')])
    xlsx(os.path.join(HERE, 'handmade_views.xlsx'), workbook, workbook_rels, [
        ('xl/worksheets/oculta.xml', sheet('<row r="1"><c r="A1" t="inlineStr"><is><t>oculta</t></is></c></row>')),
        ('xl/worksheets/HOJA VISIBLE.xml', sheet('<row r="1"><c r="A1" t="inlineStr"><is><t>visible</t></is></c></row>')),
        ('xl/chartsheets/sheet1.xml', '<chartsheet xmlns="%s"/>' % MAIN),
        ('xl/worksheets/ultima.xml', sheet('<row r="1"><c r="A1" t="inlineStr"><is><t>última</t></is></c></row>')),
    ])


def strict_xlsx():
    """ISO 29500 strict: other namespaces, 1904 dates written "true", a time
    alone in a date cell, and a shared-string cell without a string table."""
    workbook = ('<?xml version="1.0" encoding="UTF-8"?><x:workbook xmlns:x="%s" xmlns:r="%s">'
                '<x:workbookPr date1904="true"/><x:bookViews><x:workbookView activeTab="1"/></x:bookViews>'
                '<x:sheets><x:sheet name="Uno" sheetId="1" r:id="R1"/><x:sheet name="Dos" sheetId="2" r:id="R2"/>'
                '</x:sheets></x:workbook>') % (STRICT_MAIN, STRICT_REL)
    workbook_rels = rels([('R1', 'worksheet', 'worksheets/sheet1.xml'), ('R2', 'worksheet', 'worksheets/sheet2.xml')],
                         STRICT_REL)
    two = ('<?xml version="1.0"?><x:worksheet xmlns:x="%s"><x:sheetData><x:row r="1">'
           '<x:c r="A1" t="d"><x:v>2005-02-23</x:v></x:c><x:c r="B1" t="s"><x:v>0</x:v></x:c>'
           '<x:c r="C1" t="inlineStr"><x:is><x:t>estricto</x:t></x:is></x:c><x:c r="D1" t="d"><x:v>10:10:10</x:v></x:c>'
           '</x:row></x:sheetData></x:worksheet>'
           % STRICT_MAIN)
    xlsx(os.path.join(HERE, 'handmade_strict.xlsx'), workbook, workbook_rels, [
        ('xl/worksheets/sheet1.xml', sheet('', STRICT_MAIN)),
        ('xl/worksheets/sheet2.xml', two),
    ], ns=STRICT_REL)


def not_workbooks():
    write_zip(os.path.join(HERE, 'handmade.xlsb'), [
        ('[Content_Types].xml', CONTENT_TYPES),
        ('_rels/.rels', rels([('rId1', 'officeDocument', 'xl/workbook.bin')])),
        ('xl/workbook.bin', b'\x83\x01\x00'),
    ])
    write_zip(os.path.join(HERE, 'handmade.docx'), [
        ('[Content_Types].xml', CONTENT_TYPES),
        ('_rels/.rels', rels([('rId1', 'officeDocument', 'word/document.xml')])),
        ('word/document.xml', '<?xml version="1.0"?><w:document xmlns:w="http://schemas.openxmlformats.org/'
                              'wordprocessingml/2006/main"><w:body/></w:document>'),
    ])
    write_zip(os.path.join(HERE, 'handmade.odt'), [
        ('mimetype', 'application/vnd.oasis.opendocument.text'),
        ('content.xml', '<?xml version="1.0"?><office:document-content xmlns:office="urn:oasis:names:tc:'
                        'opendocument:xmlns:office:1.0"/>'),
    ], zipfile.ZIP_STORED)
    write_zip(os.path.join(HERE, 'handmade_other.zip'), [('notas.txt', 'hola')])


ODS_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
          'xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0" '
          'xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0" '
          'xmlns:dc="http://purl.org/dc/elements/1.1/"')


def ods(path, tables, active=None, manifest_extra='', mimetype='application/vnd.oasis.opendocument.spreadsheet'):
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content %s office:version="1.3">'
               '<office:body><office:spreadsheet>%s</office:spreadsheet></office:body></office:document-content>'
               % (ODS_NS, tables))
    parts = [('mimetype', mimetype), ('content.xml', content),
             ('META-INF/manifest.xml', '<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:manifest='
              '"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.3"><manifest:file-entry '
              'manifest:full-path="/" manifest:media-type="%s"/><manifest:file-entry manifest:full-path="content.xml" '
              'manifest:media-type="text/xml">%s</manifest:file-entry></manifest:manifest>' % (mimetype, manifest_extra))]
    if active is not None:
        parts.append(('settings.xml', '<?xml version="1.0" encoding="UTF-8"?><office:document-settings %s>'
                      '<office:settings><config:config-item-set config:name="ooo:view-settings">'
                      '<config:config-item-map-indexed config:name="Views"><config:config-item-map-entry>'
                      '<config:config-item config:name="ViewId" config:type="string">view1</config:config-item>'
                      '<config:config-item-map-named config:name="Tables"><config:config-item-map-entry config:name="%s">'
                      '<config:config-item config:name="ActiveTable" config:type="string">Portada</config:config-item>'
                      '</config:config-item-map-entry></config:config-item-map-named>'
                      '<config:config-item config:name="ActiveTable" config:type="string">%s</config:config-item>'
                      '</config:config-item-map-entry><config:config-item-map-entry>'
                      '<config:config-item config:name="ActiveTable" config:type="string">Portada</config:config-item>'
                      '</config:config-item-map-entry></config:config-item-map-indexed></config:config-item-set>'
                      '</office:settings></office:document-settings>' % (ODS_NS, active, active)))
    write_zip(path, parts)


def cell(attributes='', content=''):
    return '<table:table-cell %s>%s</table:table-cell>' % (attributes, content)


def text_ods():
    s = 'office:value-type="string"'
    rows = [
        cell(s, '<text:p>Uno<text:s/>dos<text:s text:c="3"/>tres<text:tab/>tab<text:line-break/>salto</text:p>'
                '<text:p>  segundo párrafo  </text:p>')
        + cell(s, '<text:p>con <text:span>span</text:span> y <text:a>enlace</text:a></text:p>'
                  '<office:annotation><dc:creator>yo</dc:creator><text:p>comentario</text:p></office:annotation>')
        + cell(s + ' office:string-value="atributo"', '<text:p>mostrado</text:p>')
        + cell('', '<text:p>sin tipo</text:p>')
        + cell('table:formula="of:=A1" ', '<text:p>sin resultado</text:p>')
        + cell('table:formula="of:=1/0" office:value-type="string" office:string-value="" calcext:value-type="error"',
               '<text:p>#DIV/0!</text:p>'),
        cell('office:value-type="float" office:value="12345"', '<text:p>12.345</text:p>')
        + cell('office:value-type="percentage" office:value="0.25"', '<text:p>25%</text:p>')
        + cell('office:value-type="currency" office:currency="EUR" office:value="3.5"', '<text:p>3,50 €</text:p>')
        + cell('office:value-type="date" office:date-value="2005-02-23T17:47:13"', '<text:p>x</text:p>')
        + cell('office:value-type="date" office:date-value="1800-01-01"', '<text:p>x</text:p>')
        + cell('office:value-type="time" office:time-value="PT17H47M13S"', '<text:p>x</text:p>')
        + cell('office:value-type="time" office:time-value="PT36H"', '<text:p>x</text:p>')
        + cell('office:value-type="boolean" office:boolean-value="true"', '<text:p>VERDADERO</text:p>')
        + cell('office:value-type="boolean" office:boolean-value="false"', '<text:p>FALSO</text:p>')
        + cell('office:value-type="float" office:value="no"', '<text:p>texto mostrado</text:p>'),
    ]
    table_rows = ''.join('<table:table-row>%s</table:table-row>' % r for r in rows)
    table_rows += ('<table:table-row-group><table:table-header-rows><table:table-row>'
                   + cell('table:number-columns-repeated="3" ' + s, '<text:p>rep</text:p>')
                   + cell('table:number-columns-repeated="2"') + cell(s, '<text:p>F</text:p>')
                   + '</table:table-row></table:table-header-rows>'
                   '<table:table-row table:number-rows-repeated="2">' + cell(s, '<text:p>fila</text:p>')
                   + '<table:covered-table-cell ' + s + '><text:p>cubierta</text:p></table:covered-table-cell>'
                   + '</table:table-row></table:table-row-group>'
                   '<table:table-row table:number-rows-repeated="1048569">' + cell('table:number-columns-repeated="16384"')
                   + '</table:table-row><table:table-row>' + cell(s, '<text:p>final</text:p>')
                   + '<draw:frame><draw:text-box><text:p>dibujo</text:p></draw:text-box></draw:frame></table:table-row>')
    tables = ('<table:table table:name="Portada"><table:table-row>' + cell(s, '<text:p>portada</text:p>')
              + '</table:table-row></table:table>'
              '<table:table table:name="Datos"><table:table-column table:number-columns-repeated="16384"/>'
              + table_rows + '</table:table>')
    ods(os.path.join(HERE, 'handmade_text.ods'), tables, active='Datos')
    ods(os.path.join(HERE, 'handmade_unknown_active.ods'), tables, active='No existe')
    ods(os.path.join(HERE, 'handmade_encrypted.ods'), tables, active='Datos',
        manifest_extra='<manifest:encryption-data manifest:checksum-type="SHA1/1K" manifest:checksum="x"/>')


def damaged():
    whole = open(os.path.join(HERE, 'lo_shop.xlsx'), 'rb').read()
    open(os.path.join(HERE, 'damaged_truncated.xlsx'), 'wb').write(whole[:len(whole) // 2])
    # A byte in the middle of the active sheet's compressed data changed.
    data = bytearray(whole)
    at = data.find(b'xl/worksheets/sheet2.xml') - 30
    compressed = int.from_bytes(data[at + 18:at + 22], 'little')
    name_length = int.from_bytes(data[at + 26:at + 28], 'little')
    extra_length = int.from_bytes(data[at + 28:at + 30], 'little')
    data[at + 30 + name_length + extra_length + compressed // 2] ^= 0x55
    open(os.path.join(HERE, 'damaged_checksum.xlsx'), 'wb').write(bytes(data))
    # Entries flagged as encrypted (traditional PKWARE encryption).
    data = bytearray(whole)
    at = 0
    while True:
        at = data.find(b'PK\x03\x04', at)
        if at < 0:
            break
        data[at + 6] |= 1
        at += 4
    at = 0
    while True:
        at = data.find(b'PK\x01\x02', at)
        if at < 0:
            break
        data[at + 8] |= 1
        at += 4
    open(os.path.join(HERE, 'damaged_zipcrypto.xlsx'), 'wb').write(bytes(data))


def hostile():
    os.makedirs(HOSTILE, exist_ok=True)
    workbook = ('<?xml version="1.0"?><workbook xmlns="%s" xmlns:r="%s"><sheets>'
                '<sheet name="H" sheetId="1" r:id="rId1"/></sheets></workbook>') % (MAIN, REL)
    workbook_rels = rels([('rId1', 'worksheet', 'worksheets/sheet1.xml'), ('rId2', 'sharedStrings', 'sharedStrings.xml')])

    def one_sheet(name, sheet_xml, extra=(), level=9):
        path = os.path.join(HOSTILE, name)
        with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED, compresslevel=level) as z:
            for part, data in [('[Content_Types].xml', CONTENT_TYPES),
                               ('_rels/.rels', rels([('rId1', 'officeDocument', 'xl/workbook.xml')])),
                               ('xl/workbook.xml', workbook), ('xl/_rels/workbook.xml.rels', workbook_rels),
                               ('xl/worksheets/sheet1.xml', sheet_xml)] + list(extra):
                info = zipfile.ZipInfo(part, date_time=STAMP)
                info.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(info, data.encode('utf-8') if isinstance(data, str) else data)

    head = ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s"><sheetData>' % MAIN).encode()
    tail = b'</sheetData></worksheet>'
    # 288 MiB once inflated, in comments of 8 MiB: no piece is long, few elements.
    comment = b'<!--' + b'x' * (8 << 20) + b'-->'
    one_sheet('bomb_inflated.xlsx', head + b'<row r="1"><c r="A1"><v>1</v></c></row>' + comment * 36 + tail)
    # 17 million elements.
    one_sheet('bomb_elements.xlsx', head + b'<row/>' * 17000000 + tail)
    # One run of 17 MiB without markup.
    one_sheet('long_piece.xlsx', head + b' ' * (17 << 20) + tail)
    laughs = (b'<?xml version="1.0"?><!DOCTYPE worksheet [<!ENTITY a "aaaaaaaaaa">'
              + b''.join(b'<!ENTITY %c "%s">' % (98 + i, (b'&%c;' % (97 + i)) * 10) for i in range(9))
              + b']><worksheet xmlns="' + MAIN.encode() + b'"><sheetData><row r="1"><c r="A1" t="inlineStr">'
              b'<is><t>&j;</t></is></c></row></sheetData></worksheet>')
    one_sheet('billion_laughs.xlsx', laughs)
    one_sheet('deep_nesting.xlsx', head + b'<x>' * 300 + b'</x>' * 300 + tail)
    # Positional rows and cells: 1 048 576 rows of three, and of two, columns.
    row3 = b'<row><c><v>1</v></c><c><v>2</v></c><c><v>3</v></c></row>'
    one_sheet('rows_1048576x3.xlsx', head + row3 * 1048576 + tail)
    row2 = b'<row><c><v>1</v></c><c t="inlineStr"><is><t>foto</t></is></c></row>'
    one_sheet('rows_1048576x2.xlsx', head + row2 * 1048576 + tail)
    # Five million shared strings, of which the sheet uses two.
    sst = (b'<?xml version="1.0"?><sst xmlns="' + MAIN.encode() + b'">' + b'<si><t>relleno</t></si>' * 4999999
           + b'<si><t>la ultima</t></si></sst>')
    one_sheet('huge_shared_strings.xlsx', head + b'<row r="1"><c r="A1" t="s"><v>4999999</v></c>'
              b'<c r="B1" t="s"><v>0</v></c></row>' + tail, [('xl/sharedStrings.xml', sst)])
    # A table whose one row claims every cell of the sheet.
    ods(os.path.join(HOSTILE, 'repeat_all_cells.ods'),
        '<table:table table:name="H"><table:table-row table:number-rows-repeated="1048576">'
        + cell('table:number-columns-repeated="16384" office:value-type="float" office:value="7"', '<text:p>7</text:p>')
        + '</table:table-row></table:table>')
    ods(os.path.join(HOSTILE, 'huge_space_run.ods'),
        '<table:table table:name="H"><table:table-row>'
        + cell('office:value-type="string"', '<text:p>a<text:s text:c="2000000000"/></text:p>')
        + '</table:table-row></table:table>')


def main():
    strings_xlsx()
    views_xlsx()
    strict_xlsx()
    not_workbooks()
    text_ods()
    damaged()
    hostile()


if __name__ == '__main__':
    main()
