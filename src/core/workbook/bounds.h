#pragma once

#include <QtGlobal>

namespace fotolista {

/// What a workbook may make the program read and keep. A file past any of
/// these is refused with a message that names the bound; docs/robustness.md
/// lists them with the memory they imply.
namespace workbook::bounds {

/// An .xlsx, .xlsm or .ods file as a whole (it is read into memory).
constexpr qint64 kPackageFileBytes = qint64(128) << 20;
/// One part of such a package once decompressed (it is parsed as it is
/// inflated, never held whole), and all the parts read, together.
constexpr qint64 kPartBytes = qint64(256) << 20;
constexpr qint64 kPackageInflatedBytes = qint64(512) << 20;
/// XML elements inside one another; spreadsheet parts need about a dozen.
constexpr int kXmlDepth = 256;
/// Elements in one XML part: a 1 048 576-row sheet of two columns with
/// formulas needs about 8 million; parsing 16 million takes some seconds.
constexpr qint64 kXmlElements = 16'000'000;
/// One text, tag, comment or CDATA section of an XML part, in bytes (code
/// units in UTF-16): the parser holds each whole until it ends.
constexpr qint64 kXmlPiece = qint64(16) << 20;
/// A .csv or .txt file.
constexpr qint64 kTextFileBytes = qint64(64) << 20;
/// Non-empty cells kept from the sheet read, and the UTF-16 units of their
/// distinct texts.
constexpr qint64 kCells = 3'000'000;
constexpr qint64 kTextUnits = 32'000'000;

}  // namespace workbook::bounds

}  // namespace fotolista
