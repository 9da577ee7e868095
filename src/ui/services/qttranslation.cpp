#include "ui/services/qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace fotolista {

namespace {

/// Qt's texts for a locale. Qt 6 names the kinds of files in the file dialog
/// ("Folder", "Drive") under QAbstractFileIconProvider, where Debian's
/// catalogues of Qt 6.4 have nothing yet; they still hold them under
/// QFileDialog, where Qt 5 looked, and are asked there.
class QtTexts : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation, int n) const override
    {
        const QString text = QTranslator::translate(context, sourceText, disambiguation, n);
        if (text.isEmpty() && qstrcmp(context, "QAbstractFileIconProvider") == 0)
            return QTranslator::translate("QFileDialog", sourceText, disambiguation, n);
        return text;
    }
};

}  // namespace

std::unique_ptr<QTranslator> installQtTranslation(const QLocale& locale)
{
    auto translator = std::make_unique<QtTexts>();
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}

}  // namespace fotolista
