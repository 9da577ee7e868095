#pragma once

#include <QByteArray>
#include <QString>

namespace fotolista {

/// Text for an HTML page, element content or a quoted attribute alike:
/// & < > " ' as character references, so no text can open a tag or leave
/// an attribute. Control characters, which a page would drop or fold into
/// a blank, show as their Unicode pictures (a line feed as ␊).
QString htmlText(const QString& text);

/// A relative path ("/" between parts) as the path of a link: each part
/// percent-encoded as UTF-8, so blanks, #, %, ?, & and accented letters
/// name the file and nothing else.
QString linkPath(const QString& relativePath);

/// The link from a page in `pageFolder` to the file `target`, relative to
/// the page.
QString relativeLink(const QString& pageFolder, const QString& target);

/// `bytes` as a data: URI of type `mimeType`, in base64.
QString dataUri(const QString& mimeType, const QByteArray& bytes);

}  // namespace fotolista
