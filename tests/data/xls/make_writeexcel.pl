#!/usr/bin/perl
# Writes writeexcel.xls with Spreadsheet::WriteExcel (libspreadsheet-writeexcel-perl):
# formulas saved with their cached results (number, text, boolean, error and
# the empty text), an empty shared string, long shared strings that cross a
# CONTINUE record, and a second sheet active.
#     perl tests/data/xls/make_writeexcel.pl
# The texts the reader must return are listed in tests/core/tst_xlsreader.cpp.
use strict;
use warnings;
use utf8;
use File::Basename qw(dirname);
use Spreadsheet::WriteExcel;

my $out = dirname(__FILE__) . '/writeexcel.xls';
my $workbook = Spreadsheet::WriteExcel->new($out) or die "$out: $!";

my $cover = $workbook->add_worksheet('Hoja1');
$cover->write_string(0, 0, 'la primera hoja no es la activa');

my $sheet = $workbook->add_worksheet('Fórmulas');
my $date = $workbook->add_format(num_format => 'dd/mm/yyyy');

$sheet->write_formula(0, 0, '=1+1', undef, 2);
$sheet->write_formula(1, 0, '=CONCATENATE("foto","-01")', undef, 'foto-01');
$sheet->write_formula(2, 0, '=1=1', undef, 'TRUE');
$sheet->write_formula(3, 0, '=1=2', undef, 'FALSE');
$sheet->write_formula(4, 0, '=1/0', undef, '#DIV/0!');
$sheet->write_formula(5, 0, '=NA()', undef, '#N/A');
$sheet->write_formula(6, 0, '=""', undef, '');               # cached empty text
$sheet->write_formula(7, 0, '=3/2', undef, 1.5);
$sheet->write_formula(8, 0, '=" x "', undef, ' x ');          # blanks kept
$sheet->write_string(9, 0, '');                              # an empty shared string
$sheet->write_string(9, 1, 'tras la vacía');
$sheet->write_number(10, 0, 12345);
$sheet->write_number(10, 1, 12345678901);
$sheet->write_date_time(11, 0, '2005-02-23T', $date);
$sheet->write_string(12, 0, 'Niño ñandú');
$sheet->write_string(13, 0, 'Ελληνικά 漢字');

# Long strings, so that the shared-string table needs CONTINUE records and a
# string is split across one: first 8-bit, then 16-bit characters.
my $latin = join '', map { chr(ord('a') + $_ % 26) } 0 .. 8999;
my $wide  = join '', map { substr('漢字かなΩ', $_ % 5, 1) } 0 .. 4999;
$sheet->write_string(14, 0, $latin);
$sheet->write_string(15, 0, $wide);

$sheet->activate();
$workbook->close() or die "$out: $!";
