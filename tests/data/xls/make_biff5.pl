#!/usr/bin/perl
# Writes Excel 95 (BIFF5) workbooks record by record and stores them with
# OLE::Storage_Lite (libole-storage-lite-perl) in a "Book" stream, as Excel 5/95
# did. BIFF5 keeps text as bytes in the workbook's code page.
#     perl tests/data/xls/make_biff5.pl
# The texts the reader must return are listed in tests/core/tst_xlsreader.cpp.
use strict;
use warnings;
use utf8;
use Encode qw(encode);
use File::Basename qw(dirname);
use OLE::Storage_Lite;

my $dir = dirname(__FILE__);

sub record { my ($type, $data) = @_; return pack('vv', $type, length $data) . $data; }
sub bof    { my ($kind) = @_; return record(0x0809, pack('vvvv', 0x0500, $kind, 0x096C, 0x07C9)); }
sub eof_   { return record(0x000A, ''); }
sub cell   { my ($type, $row, $col, $xf, $rest) = @_; return record($type, pack('vvv', $row, $col, $xf) . $rest); }
sub label  { my ($row, $col, $bytes, $xf) = @_; return cell(0x0204, $row, $col, $xf // 15, pack('v', length $bytes) . $bytes); }
sub number { my ($row, $col, $value, $xf) = @_; return cell(0x0203, $row, $col, $xf // 15, pack('d<', $value)); }
sub rk_int { my ($row, $col, $value, $xf) = @_; return cell(0x027E, $row, $col, $xf // 15, pack('V', (($value << 2) | 2) & 0xFFFFFFFF)); }

# Globals: code page, active tab, formats, one font, 16 XFs (15 style XFs as
# Excel writes them, then the cell XFs), and the sheet list.
sub workbook {
    my (%opt) = @_;
    my @sheets = @{ $opt{sheets} };
    my $globals = bof(0x0005);
    $globals .= record(0x0042, pack('v', $opt{codepage})) if defined $opt{codepage};
    $globals .= record(0x003D, pack('vvvvvvvvv', 0, 0, 0x3000, 0x2000, 0x38, $opt{active}, 0, 1, 0x258))
        if defined $opt{active};
    $globals .= record(0x0022, pack('v', 0));
    $globals .= record(0x0031, pack('vvvvvCCCCC', 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0, 5) . 'Arial');
    $globals .= record(0x041E, pack('vC', 164, 8) . 'd/m/yyyy');
    $globals .= record(0x041E, pack('vC', 165, 14) . '[Red]"d "0.00');
    my @xf_formats = ((0) x 16, 164, 14, 165);     # XF 16: custom date, 17: built-in date, 18: not a date
    $globals .= record(0x00E0, pack('vvvv', 0, $_, 0xFFF5, 0x20) . "\0" x 8) for @xf_formats;

    my $sheet_list_length = 0;
    $sheet_list_length += 4 + 7 + length $_->{name} for @sheets;
    my $offset = length($globals) + $sheet_list_length + 4;     # + the globals' EOF
    for my $s (@sheets) {
        $globals .= record(0x0085, pack('VvC', $offset, 0, length $s->{name}) . $s->{name});
        $offset += length $s->{body};
    }
    $globals .= eof_();
    return $globals . join('', map { $_->{body} } @sheets);
}

sub sheet { my ($name, @cells) = @_; return { name => $name, body => bof(0x0010) . join('', @cells) . eof_() }; }

sub save {
    my ($file, $stream) = @_;
    my $book = OLE::Storage_Lite::PPS::File->new(OLE::Storage_Lite::Asc2Ucs('Book'), $stream);
    my $root = OLE::Storage_Lite::PPS::Root->new(undef, undef, [$book]);
    $root->save("$dir/$file") or die "$file: $!";
}

# Western code page, second sheet active, more than 4096 bytes so the stream
# lives in regular sectors; the first sheet is padded with numbers.
{
    my $cp = sub { encode('cp1252', $_[0]) };
    my @filler = map { rk_int($_, 0, $_) } 1 .. 400;
    my $active = sheet($cp->('Año 2024'),
        label(0, 0, $cp->('Niño')),
        label(0, 1, $cp->('Café 5€')),
        rk_int(1, 0, 12345),
        number(1, 1, 12345678901),
        number(2, 0, 1.29),
        number(2, 1, -7),
        rk_int(3, 0, 38406, 16),
        rk_int(3, 1, 2741, 17),
        number(4, 0, 3.5, 18),
        # FORMULA =40+2, cached 42
        cell(0x0006, 5, 0, 15, pack('d<', 42) . pack('vV', 0, 0) . pack('v', 3) . pack('Cv', 0x1E, 42)),
        # FORMULA with a text result, given by the STRING record after it
        cell(0x0006, 6, 0, 15, pack('CCCCCCv', 0, 0, 0, 0, 0, 0, 0xFFFF) . pack('vV', 0, 0) . pack('v', 0)),
        record(0x0207, pack('v', 7) . $cp->('Fórmula')),
        cell(0x0205, 7, 0, 15, pack('CC', 1, 0)),       # TRUE
        cell(0x0205, 7, 1, 15, pack('CC', 0x2A, 1)),    # #N/A
        # RSTRING: text followed by formatting runs
        cell(0x00D6, 8, 0, 15, pack('v', 4) . 'Rico' . pack('C', 1) . pack('CC', 2, 0)),
        # MULRK: three integers in C10:E10
        record(0x00BD, pack('vv', 9, 2) . join('', map { pack('vV', 15, ($_ << 2) | 2) } 7, 8, 9) . pack('v', 4)),
        cell(0x0201, 10, 0, 15, ''),                     # BLANK
        label(11, 0, $cp->(' espacio al final ')));
    my $cover = sheet('Hoja1', label(0, 0, 'primera'), @filler);
    save('biff5_cp1252.xls', workbook(codepage => 1252, active => 1, sheets => [$cover, $active]));
}

# Cyrillic code page, no WINDOW1 record: the first sheet is read. Small, so the
# stream lives in the compound file's mini stream.
{
    my $cp = sub { encode('cp1251', $_[0]) };
    save('biff5_cp1251.xls', workbook(codepage => 1251, sheets => [
        sheet($cp->('Лист1'), label(0, 0, $cp->('Привет, мир')), rk_int(0, 1, 7)),
        sheet('Otra', label(0, 0, 'no'))]));
}

# Japanese Shift-JIS (code page 932), as Japanese Excel 95 saved.
{
    my $cp = sub { encode('cp932', $_[0]) };
    save('biff5_cp932.xls', workbook(codepage => 932, active => 0, sheets => [
        sheet($cp->('漢字名'), label(0, 0, $cp->('漢字のデータ')), label(1, 0, $cp->('ｶﾀｶﾅ'))) ]));
}

# No CODEPAGE record at all: Excel's Western default applies (0x80 is the euro).
{
    save('biff5_nocodepage.xls', workbook(active => 0, sheets => [
        sheet('Precios', label(0, 0, encode('cp1252', 'Precio 5€ ñ'))) ]));
}

# Bytes that are no Shift-JIS text (a lead byte with no trail, 0xFF, a cut
# sequence at the end), in the program's layout: origin F6, destination A6.
{
    save('biff5_cp932_invalid.xls', workbook(codepage => 932, active => 0, sheets => [
        sheet('Hoja1', label(5, 5, "12\x81"), label(5, 0, "A\xFF\xFEB\x82")) ]));
}
