// Cell texts a workbook controls become paths: the origin names the file read
// from the source folder, the destination names the copies written, and each
// destination character names a glyph picture. Whatever the text, nothing may
// be read or written outside the folders the user chose, and nothing may crash.

#include "core/base/caseblindfinder.h"
#include "core/base/relativenames.h"
#include "core/run/imagepipeline.h"
#include "core/run/sourcematching.h"
#include "core/workbook/celladdress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

using namespace fotolista;

namespace {

struct Tree {
    // Named so that one left behind by a crash is recognised.
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/fotolista-fuzz-XXXXXX")};
    QString source;
    QString destination;
    QString glyphs;
};

std::unique_ptr<Tree> tree;
// One finder for the whole session, as a run keeps one for all its rows; its
// cached listings are part of what is exercised.
std::unique_ptr<CaseBlindFinder> finder;

const QString kFormats[] = {QStringLiteral(".JPG"), QStringLiteral(".TIF")};

[[noreturn]] void fail(const char* what, const QString& a, const QString& b = {})
{
    std::fprintf(stderr, "fuzz_rownames: %s\n  text: %s\n  path: %s\n", what, qUtf8Printable(a.toHtmlEscaped()),
                 qUtf8Printable(b.toHtmlEscaped()));
    std::abort();
}

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        fail("cannot create the fixture", path);
}

/// Strictly below `folder` once "." and ".." are resolved.
bool inside(const QString& folder, const QString& path)
{
    return QDir::cleanPath(path).startsWith(folder + QLatin1Char('/'));
}

void checkFound(const QString& root, const QString& text, const std::optional<QString>& found)
{
    if (!found)
        return;
    if (!inside(root, *found))
        fail("found a file outside its folder", text, *found);
    const QFileInfo info(*found);
    if (!info.isFile() || info.fileName().startsWith(QLatin1Char('.')))
        fail("found something that is not a visible regular file", text, *found);
}

void checkRow(const QString& origin, const QString& destination)
{
    for (const QString& format : kFormats) {
        const SourceMatch m = matchSource(*finder, tree->source, origin, destination, format);
        const bool originSafe = isSafeRelativeName(origin + format);
        const bool destinationSafe = isSafeRelativeName(destination);
        if (origin.isEmpty()) {
            if (m.fate != RowFate::Unnamed)
                fail("empty origin not reported as unnamed", origin);
            continue;
        }
        if (m.sourcePath != tree->source + QLatin1Char('/') + origin + format)
            fail("source path shown differs from folder/origin+format", origin, m.sourcePath);
        switch (m.fate) {
        case RowFate::Unnamed: fail("non-empty origin reported as unnamed", origin);
        case RowFate::Unsafe:
            if (originSafe && destinationSafe)
                fail("safe names refused", origin, destination);
            break;
        case RowFate::Missing:
            if (!originSafe || !destinationSafe)
                fail("unsafe names not refused", origin, destination);
            break;
        case RowFate::Found: {
            if (!originSafe || !destinationSafe)
                fail("unsafe names not refused", origin, destination);
            checkFound(tree->source, origin, m.resolvedPath);
            // The file found is the one named, up to letter case.
            const QString named =
                QDir::cleanPath(tree->source + QLatin1Char('/') + withForwardSlashes(origin + format));
            if (named.compare(m.resolvedPath, Qt::CaseInsensitive) != 0)
                fail("found a different file than the one named", origin, m.resolvedPath);
            break;
        }
        }
    }

    if (isSafeRelativeName(destination)) {
        const QString large =
            tree->destination + QLatin1Char('/') + withForwardSlashes(destination) + QStringLiteral(".jpg");
        if (!inside(tree->destination, large))
            fail("large copy written outside the destination", destination, QDir::cleanPath(large));
        const QString small = smallCopyPath(tree->destination, destination);
        if (!inside(tree->destination + QStringLiteral("/pequeñas"), small))
            fail("small copy written outside destination/pequeñas", destination, QDir::cleanPath(small));
        if (!small.endsWith(QStringLiteral("_p.jpg")))
            fail("small copy not named *_p.jpg", destination, small);
    }

    // Each character of the destination is looked up as a glyph picture, even
    // before any safety check. Repeats add nothing, and a 32 000-character text
    // would otherwise dominate the run, so only the first distinct ones.
    QSet<uint> seen;
    for (const uint c : destination.left(1024).toUcs4()) {
        if (c == U'/' || c == U'\0' || seen.contains(c))
            continue;
        if (seen.size() == 64)
            break;
        seen.insert(c);
        const char32_t c32 = c;
        const QString name = QString::fromUcs4(&c32, 1) + QStringLiteral(".jpg");
        checkFound(tree->glyphs, name, finder->find(tree->glyphs, name));
    }
}

void checkText(const QString& text)
{
    // The finder alone must never leave its root, whatever it is given.
    checkFound(tree->source, text, finder->find(tree->source, withForwardSlashes(text)));

    // Origin and destination from one text, or split at the first line break.
    checkRow(text, text);
    const qsizetype lineBreak = text.indexOf(QLatin1Char('\n'));
    if (lineBreak >= 0)
        checkRow(text.left(lineBreak), text.mid(lineBreak + 1));

    // Cell addresses come from the same workbooks and settings files.
    if (const std::optional<CellPosition> p = parseCellAddress(text)) {
        for (const QChar c : text)
            if (!(c.unicode() < 128 && c.isLetterOrNumber()))
                fail("address with a character other than ASCII letters and digits accepted", text);
        const QString formatted = formatCellAddress(p->row, p->column);
        if (parseCellAddress(formatted) != p)
            fail("formatted address does not read back as the same cell", text, formatted);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tree = std::make_unique<Tree>();
    if (!tree->dir.isValid())
        fail("no temporary folder", tree->dir.errorString());
    const QString root = QDir::cleanPath(tree->dir.path());
    tree->source = root + QStringLiteral("/fuente");
    tree->destination = root + QStringLiteral("/destino");
    tree->glyphs = root + QStringLiteral("/numeros");

    const QString sourceFiles[] = {
        QStringLiteral("12345.JPG"),         QStringLiteral("abc.jpg"),         QStringLiteral("ABC.JPG"),
        QStringLiteral("Camisas/12345.JPG"), QStringLiteral("camisas/777.tif"), QStringLiteral("Sub/Deep/x.TIF"),
        QStringLiteral(".oculta.JPG"),       QStringLiteral("ñandú.JPG"),       QStringLiteral("Straße.jpg"),
        QStringLiteral("ÇA/é.JPG"),          QStringLiteral("a b.JPG"),         QStringLiteral("tab\tname.JPG"),
        QStringLiteral("back\\slash.JPG"),   QStringLiteral(".hidden/in.JPG"),  QStringLiteral("x.JPG/not-a-file"),
    };
    for (const QString& f : sourceFiles)
        touch(tree->source + QLatin1Char('/') + f);
    // Files a traversal would reach: beside the source folder, in a sibling
    // sharing its name as a prefix, and in the destination.
    const QString outsideFiles[] = {
        QStringLiteral("12345.JPG"),         QStringLiteral("fuera.JPG"),       QStringLiteral("fuente-x/12345.JPG"),
        QStringLiteral("destino/12345.JPG"), QStringLiteral("numeros-x/1.jpg"),
    };
    for (const QString& f : outsideFiles)
        touch(root + QLatin1Char('/') + f);
    for (const char* glyph : {"0", "1", "9", "A", "b", "-", "_", "ñ", ".", "\\"})
        touch(tree->glyphs + QLatin1Char('/') + QString::fromUtf8(glyph) + QStringLiteral(".jpg"));
    finder = std::make_unique<CaseBlindFinder>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    // The same bytes as UTF-8 (invalid sequences become U+FFFD) and as raw
    // UTF-16, which keeps unpaired surrogates and NUL characters.
    checkText(QString::fromUtf8(bytes, qsizetype(size)));
    std::vector<char16_t> units(size / 2);
    if (!units.empty())
        std::memcpy(units.data(), bytes, units.size() * sizeof(char16_t));
    checkText(QString::fromUtf16(units.data(), qsizetype(units.size())));
    return 0;
}
