#pragma once

#include <QLocale>
#include <QTranslator>

#include <memory>

namespace fotolista {

/// Installs Qt's own texts in the language of `locale`: the standard buttons,
/// the file dialog and the context menus of text boxes (for Spanish,
/// qtbase_es.qm of Debian's qt6-translations-l10n). Null when Qt has none for
/// that language, and Qt's English stays. The texts go with the translator.
std::unique_ptr<QTranslator> installQtTranslation(const QLocale& locale);

}  // namespace fotolista
