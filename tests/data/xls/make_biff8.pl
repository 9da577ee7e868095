#!/usr/bin/perl
# Writes hand-made Excel 97-2003 (BIFF8) workbooks with the record layouts that
# real writers produce but the library writers do not: shared strings whose
# continuation switches between 8- and 16-bit characters, formatting runs and
# phonetic data split over CONTINUE records, formulas whose STRING record comes
# after a SHRFMLA or is itself continued, padded records, a chart substream
# inside a sheet, 1904 dates, and an active-tab index that points nowhere.
# A small compound-file writer of its own stores them, so that the container's
# less common shapes (4096-byte sectors, a DIFAT sector, a short last sector,
# a looping chain) can be made too. Also writes the refused files that need a
# compound file: encrypted, a cut-off record, a non-Excel document.
#     perl tests/data/xls/make_biff8.pl
# The texts the reader must return are listed in tests/core/tst_xlsreader.cpp.
use strict;
use warnings;
use utf8;
use Encode qw(encode);
use File::Basename qw(dirname);
use POSIX qw(ceil);

my $dir = dirname(__FILE__);

# ---------------------------------------------------------------- records

sub record  { my ($type, $data) = @_; return pack('vv', $type, length $data) . $data; }
sub bof     { my ($kind) = @_; return record(0x0809, pack('vvvvVV', 0x0600, $kind, 0x0DBB, 0x07CC, 0, 6)); }
sub eof_    { return record(0x000A, ''); }
sub cell    { my ($type, $row, $col, $xf, $rest) = @_; return record($type, pack('vvv', $row, $col, $xf) . $rest); }
sub sst_ref { my ($row, $col, $index) = @_; return cell(0x00FD, $row, $col, 15, pack('V', $index)); }
sub number  { my ($row, $col, $value, $xf) = @_; return cell(0x0203, $row, $col, $xf // 15, pack('d<', $value)); }
sub wide    { return encode('UTF-16LE', $_[0]); }
sub latin   { return encode('latin1', $_[0]); }

# A FORMULA record whose cached result is described by the 8 result bytes.
sub formula { my ($row, $col, $result) = @_; return cell(0x0006, $row, $col, 15, $result . pack('vVv', 0, 0, 3) . pack('Cv', 0x1E, 1)); }
sub typed_result { my ($kind, $value) = @_; return pack('CCCCCCv', $kind, 0, $value // 0, 0, 0, 0, 0xFFFF); }

# ------------------------------------------------------------ workbook

# Shared strings, written piece by piece: each element is one record's data
# (the SST first, then its CONTINUE records), split where noted.
my @sst_pieces = (
    pack('VV', 20, 2)                               # counts: the unique count is wrong on purpose
    . pack('vC', 7, 0) . 'Portada'
    . pack('vC', 8, 0) . 'mixto-',                  # 8-bit start, continued as 16-bit
    pack('C', 1) . wide('漢字')
    . pack('vC', 5, 1) . wide('Ω'),                 # 16-bit start, continued as 8-bit
    pack('C', 0) . 'mega'
    . pack('vCv', 11, 0x08, 2) . 'Rojo y azul' . pack('vv', 0, 1),   # runs split...
    pack('vv', 5, 2)                                # ...with no option byte before the rest
    . pack('vCV', 3, 0x04, 10) . 'Ext' . "\x01\x02\x03\x04\x05\x06",  # phonetic data split...
    "\x07\x08\x09\x0A"                              # ...and continued plainly
    . pack('vC', 8, 0),                             # header only; the characters follow
    pack('C', 0) . 'Cabecera'
    . pack('vCvV', 5, 0x0D, 1, 4) . wide('Ñandú') . pack('vv', 0, 1) . "\xAA\xBB\xCC\xDD"
    . "\x07",                                       # a length split between two pieces
    "\x00" . pack('C', 0) . 'partido'
    . pack('vC', 0, 0)                              # the empty text
    . pack('vC', 6, 0) . latin('último'),
);
my @sst_texts = ('Portada', 'mixto-漢字', 'Ωmega', 'Rojo y azul', 'Ext', 'Cabecera', 'Ñandú', 'partido', '', 'último');

sub sst_records {
    my $out = record(0x00FC, $sst_pieces[0]);
    $out .= record(0x003C, $_) for @sst_pieces[1 .. $#sst_pieces];
    return $out;
}

my @formats = ([164, '"dd" 0'], [165, '[h]:mm'], [166, 'yyyy-mm-dd hh:mm'], [167, '#,##0 "mes"'],
               [168, 'General'], [169, 'mm:ss'], [170, '0\d']);
# XF 16.. use these formats, in order; XF 23 uses built-in 14 (a date).
my @cell_xf_formats = ((map { $_->[0] } @formats), 14);
sub xf_of { my ($format) = @_; for my $i (0 .. $#cell_xf_formats) { return 16 + $i if $cell_xf_formats[$i] == $format; } die; }

sub format_record {
    my ($index, $code) = @_;
    return record(0x041E, pack('vvC', $index, length $code, 0) . latin($code));
}

sub long_formula_text { return ('a' x 200) . ('Ω' x 100); }

sub data_sheet {
    my (%opt) = @_;
    my $cells = '';
    $cells .= sst_ref($_, 0, $_) for 0 .. $#sst_texts;             # A1:A10
    $cells .= sst_ref(0, 1, 99);                                   # B1: index past the table
    $cells .= number(0, 2, 5, xf_of(164));                         # C1
    $cells .= number(1, 2, 0.75, xf_of(165));                      # C2
    $cells .= number(2, 2, 36944.75, xf_of(166));                  # C3: 2005-02-23 18:00 in 1904 dates
    $cells .= number(3, 2, 1234, xf_of(167));                      # C4
    $cells .= number(4, 2, 0.5, xf_of(168));                       # C5
    $cells .= number(5, 2, 0.5, xf_of(169));                       # C6
    $cells .= number(6, 2, 7, xf_of(170));                         # C7
    $cells .= number(7, 2, 0, xf_of(14));                          # C8
    $cells .= cell(0x027E, 8, 2, 500, pack('V', (9 << 2) | 2));    # C9: XF index past the table
    $cells .= record(0x0203, pack('vvv', 9, 2, 15) . pack('d<', 2.5) . "\0\0");   # C10: padded NUMBER
    $cells .= record(0x00FD, pack('vvvV', 10, 2, 15, 0) . "\0\0");                 # C11: padded LABELSST

    # D1: text result whose STRING record comes after a SHRFMLA record
    $cells .= formula(0, 3, typed_result(0));
    $cells .= record(0x04BC, pack('vvCC', 0, 0, 3, 3) . pack('Cvv', 0, 0, 3) . pack('Cv', 0x1E, 1));
    $cells .= record(0x0207, pack('vC', 10, 0) . 'compartida');
    # D2: text result continued in a CONTINUE record that switches to 16-bit
    my $text = long_formula_text();
    $cells .= formula(1, 3, typed_result(0));
    $cells .= record(0x0207, pack('vC', length $text, 0) . ('a' x 200));
    $cells .= record(0x003C, pack('C', 1) . wide('Ω' x 100));
    $cells .= formula(2, 3, typed_result(3));                           # D3: the empty text
    $cells .= formula(3, 3, typed_result(1, 0));                        # D4: FALSE
    $cells .= formula(4, 3, typed_result(2, 0x17));                     # D5: #REF!
    $cells .= formula(5, 3, typed_result(2, 0x1D));                     # D6: #NAME?
    $cells .= formula(6, 3, typed_result(2, 0x24));                     # D7: #NUM!
    $cells .= formula(7, 3, typed_result(2, 0x00));                     # D8: #NULL!
    $cells .= formula(8, 3, typed_result(0));                           # D9: text result, STRING missing
    $cells .= number(9, 3, 1);                                     # D10

    $cells .= cell(0x0204, 0, 4, 15, pack('vC', 10, 0) . latin('etiqueta ñ'));       # E1: LABEL, 8-bit
    $cells .= cell(0x0204, 1, 4, 15, pack('vC', 3, 1) . wide('ラベル'));               # E2: LABEL, 16-bit
    $cells .= cell(0x00D6, 2, 4, 15, pack('vC', 11, 0) . 'enriquecido' . pack('vvv', 1, 0, 1));  # E3: RSTRING

    $cells .= number(0, 5, 1);                                     # F1, overwritten...
    $cells .= sst_ref(0, 5, 0);                                    # ...by a later record
    # A chart embedded in the sheet: its records are not the sheet's cells.
    $cells .= bof(0x0020) . number(0, 6, 99) . record(0x1002, "\0" x 16) . eof_();
    $cells .= number(1, 6, 3);                                     # G2, after the chart
    $cells .= cell(0x0205, 2, 6, 15, pack('CC', 1, 0) . "\0");     # G3: padded BOOLERR, TRUE
    $cells .= record(0x00BE, pack('vvvvvv', 3, 6, 15, 15, 15, 8)); # MULBLANK G4:I4
    $cells .= cell(0x0201, 4, 6, 15, '');                          # BLANK G5
    $cells .= record(0x1234, "\xDE\xAD\xBE\xEF");                  # a record nobody knows
    $cells .= sst_ref(65535, 0, 0);                                # A65536, the last row
    $cells .= cell(0x0204, 0, 255, 15, pack('vC', 2, 0) . 'IV');   # IV1, the last column
    my $filler = join '', map { number(99 + $_, 0, $_) } 1 .. ($opt{filler} // 0);
    return (bof(0x0010) . $cells . $filler . eof_(), length(bof(0x0010) . $cells));
}

# Workbook globals followed by the substreams; `broken_offsets` makes every
# BOUNDSHEET point into the globals, as some writers got them wrong.
sub handmade_stream {
    my (%opt) = @_;
    my @bodies = (
        ['Gráfico', 2, bof(0x0020) . record(0x1002, "\0" x 16) . eof_()],
        ['Datos',   0, (data_sheet(filler => $opt{filler}))[0]],
        ['Resto',   0, bof(0x0010) . sst_ref(0, 0, 0) . eof_()],
    );
    my $globals = bof(0x0005)
        . ($opt{filepass} ? record(0x002F, pack('vvv', 1, 1, 1) . "\x5A" x 48) : '')
        . record(0x0042, pack('v', 1200))
        . record(0x003D, pack('vvvvvvvvv', 0, 0, 0x3000, 0x2000, 0x38, $opt{active_tab} // 9, 0, 1, 0x258))
        . record(0x0022, pack('v', 1))
        . join('', map { format_record(@$_) } @formats)
        . join('', map { record(0x00E0, pack('vvv', 0, $_, 0xFFF5) . "\0" x 14) } ((0) x 16, @cell_xf_formats));
    my $list_length = 0;
    $list_length += 4 + 8 + 2 * length $_->[0] for @bodies;
    my $tail = sst_records() . eof_();
    my $offset = length($globals) + $list_length + length($tail);
    for my $b (@bodies) {
        my $at = $opt{broken_offsets} ? 0 : $offset;
        $globals .= record(0x0085, pack('VCCCC', $at, 0, $b->[1], length $b->[0], 1) . wide($b->[0]));
        $offset += length $b->[2];
    }
    my $stream = $globals . $tail . join('', map { $_->[2] } @bodies);
    if ($opt{cut_in_filler}) {
        # End the stream 7 bytes into the 300th filler NUMBER of the active sheet.
        my $datos = length($globals) + length($tail) + length($bodies[0][2]);
        return substr($stream, 0, $datos + (data_sheet())[1] + 18 * 300 + 7);
    }
    # Excel pads a small Workbook stream with zeros to 4096 bytes, so that it
    # stays out of the compound file's mini stream.
    my $size = $opt{pad_to} // 4096;
    $stream .= "\0" x ($size - length $stream) if length $stream < $size;
    return $stream;
}

# ------------------------------------------------------ compound file

use constant { FREE => 0xFFFFFFFF, END_OF_CHAIN => 0xFFFFFFFE, FAT_SECTOR => 0xFFFFFFFD, DIFAT_SECTOR => 0xFFFFFFFC };

# Streams must be 4096 bytes or more (there is no mini stream here). Options:
# version 3 (512-byte sectors) or 4 (4096); difat: list the FAT in a DIFAT
# sector instead of the header; short_tail: leave the last stream's last sector
# unpadded; loop: link the last stream's second sector back to its first.
sub compound_file {
    my (%opt) = @_;
    my $version = $opt{version} // 3;
    my $ss = $version == 4 ? 4096 : 512;
    my @streams = @{ $opt{streams} };
    my $per = $ss / 4;

    my $dir_sectors = ceil((1 + @streams) * 128 / $ss);
    my $data_sectors = 0;
    $data_sectors += ceil(length($_->[1]) / $ss) for @streams;
    my $difat_sectors = $opt{difat} ? 1 : 0;
    my $fat_sectors = 1;
    $fat_sectors++ while $fat_sectors * $per < $fat_sectors + $difat_sectors + $dir_sectors + $data_sectors;

    my @fat;
    my $next = 0;
    my @fat_ids = map { $next++ } 1 .. $fat_sectors;
    $fat[$_] = FAT_SECTOR for @fat_ids;
    my $difat_id;
    if ($difat_sectors) { $difat_id = $next++; $fat[$difat_id] = DIFAT_SECTOR; }
    my $chain = sub {
        my ($count) = @_;
        my $first = $next;
        for my $i (0 .. $count - 1) { $fat[$next] = $i == $count - 1 ? END_OF_CHAIN : $next + 1; $next++; }
        return $first;
    };
    my $dir_start = $chain->($dir_sectors);
    my @starts = map { $chain->(ceil(length($_->[1]) / $ss)) } @streams;
    if ($opt{loop}) { $fat[$starts[-1] + 1] = $starts[-1]; }
    $fat[$_] //= FREE for 0 .. $fat_sectors * $per - 1;

    my $entry = sub {
        my ($name, $type, $right, $child, $start, $size) = @_;
        my $n = wide($name);
        return $n . "\0" x (64 - length $n) . pack('vCC', length($n) + 2, $type, 1)
            . pack('VVV', FREE, $right, $child) . "\0" x 16 . pack('V', 0) . "\0" x 16
            . pack('VVV', $start, $size, 0);
    };
    my $dir = $entry->('Root Entry', 5, FREE, 1, END_OF_CHAIN, 0);
    for my $i (0 .. $#streams) {
        $dir .= $entry->($streams[$i][0], 2, $i < $#streams ? $i + 2 : FREE, FREE, $starts[$i], length $streams[$i][1]);
    }
    $dir .= "\0" x 64 . pack('vCCVVV', 0, 0, 0, FREE, FREE, FREE) . "\0" x 48 while length($dir) % $ss;

    my @header_difat = $difat_sectors ? () : @fat_ids;
    push @header_difat, FREE while @header_difat < 109;
    my $header = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" . "\0" x 16
        . pack('vvvvv', 0x3E, $version, 0xFFFE, $version == 4 ? 12 : 9, 6) . "\0" x 6
        . pack('VVVVVVVVV', $version == 4 ? $dir_sectors : 0, $fat_sectors, $dir_start, 0, 4096,
               END_OF_CHAIN, 0, $difat_sectors ? $difat_id : END_OF_CHAIN, $difat_sectors)
        . pack('V109', @header_difat);
    $header .= "\0" x ($ss - length $header);

    my $file = $header . pack('V*', @fat);
    if ($difat_sectors) {
        my @entries = (@fat_ids, (FREE) x ($per - 1 - @fat_ids), END_OF_CHAIN);
        $file .= pack('V*', @entries);
    }
    $file .= $dir;
    for my $i (0 .. $#streams) {
        my $data = $streams[$i][1];
        my $pad = (-length $data) % $ss;
        $data .= "\0" x $pad unless $opt{short_tail} && $i == $#streams;
        $file .= $data;
    }
    return $file;
}

sub save {
    my ($name, $bytes) = @_;
    open my $fh, '>:raw', "$dir/$name" or die "$name: $!";
    print $fh $bytes;
    close $fh or die "$name: $!";
}

my $summary = "\xFE\xFF" . "\0" x 4094;   # stands in for SummaryInformation

save('biff8_handmade.xls', compound_file(difat => 1, short_tail => 1,
     streams => [["\x05SummaryInformation", $summary], ['Workbook', handmade_stream(pad_to => 4500)]]));
save('biff8_handmade_v4.xls', compound_file(version => 4, streams => [['Workbook', handmade_stream()]]));
# Some writers spell the stream name in capitals.
save('biff8_badoffsets.xls', compound_file(streams => [['WORKBOOK', handmade_stream(broken_offsets => 1)]]));

# Refused files.
save('encrypted.xls', compound_file(streams => [['Workbook', handmade_stream(filepass => 1)]]));
save('encrypted_xlsx.xls', compound_file(streams => [['EncryptionInfo', "\x04\x00\x04\x00" . "\0" x 4092],
                                                    ['EncryptedPackage', "\x5A" x 4096]]));
save('chain_loop.xls', compound_file(loop => 1, streams => [['Workbook', handmade_stream()]]));
save('word_document.xls', compound_file(streams => [['WordDocument', "\xEC\xA5" . "\0" x 4094]]));
# The active sheet's last record claims more bytes than the stream holds.
save('cut_record.xls', compound_file(streams => [['Workbook', handmade_stream(filler => 400, cut_in_filler => 1)]]));
# Excel 4.0 saved a bare BIFF4 stream, not a compound file.
save('biff4.xls', pack('vvvvv', 0x0409, 6, 0x0000, 0x0010, 0x0000) . pack('vv', 0x000A, 0));
