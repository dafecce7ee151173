#pragma once

#include <functional>
#include <string>

namespace norvo {

// The language the program speaks. Japanese is its own: under a ja_* locale, under C or POSIX
// and without any locale variable, every text is shown as it stands in the program. Any other
// language is shown from its translation file, norvo_<language>.qm in the translations folder,
// and in English (norvo_en.qm) when it has none. Qt Core stays private to this file pair.
// On Windows the translations are compiled into the program (text/TextCatalogue.h), and the
// user's UI language stands in for LANG when no locale variable is set.

// One environment variable's value, or null when it is not set.
using EnvironmentReader = std::function<const char*(const char*)>;
// Whether the translations folder holds a file for `language` ("de", "pt_BR").
using TranslationFinder = std::function<bool(const std::string& language)>;

// The language to show, from the locale variables as gettext reads them: the first set of
// LC_ALL, LC_MESSAGES and LANG names the locale (C, POSIX and C.* keep the program's own texts);
// LANGUAGE, when set, lists the wanted languages in order. The first one that is Japanese or
// has a file (as "de_AT", then as "de") decides; when none does, English. "" stands for the
// program's own texts.
std::string ChooseLanguage(const EnvironmentReader& getenv, const TranslationFinder& hasFile);

// Windows: as ChooseLanguage, with `uiLocale` (the user's UI language as a locale name,
// "ja-JP") taken as LANG when none of LC_ALL, LC_MESSAGES and LANG is set.
std::string ChooseLanguageOrUi(const EnvironmentReader& getenv, const std::string& uiLocale,
                               const TranslationFinder& hasFile);

// Windows: the locale name of a UI language id ("en-US" for 0x0409); "" when unknown.
std::string UiLanguageLocale(unsigned short languageId);

// The translation files' folder: translations/ in the program's data folder ("" when unknown;
// always "" on Windows, where the translations are compiled in).
std::string TranslationsFolder();

// Chooses the language from this process's environment and shows every text in it from now on.
// Call at start-up, before any other thread. Returns the language chosen ("" for the program's
// own); an unreadable file leaves the program's own texts. Windows ignores `folder`.
std::string SetUpUserLanguage(const std::string& folder = TranslationsFolder());

// Once the application object exists: Qt's own texts (the buttons of the message boxes, the
// save dialog) in the language chosen, Japanese for the program's own, from Qt's translations.
// False when Qt has none for it: its texts stay English. Always false on Windows: its own
// dialogs speak the system's language.
bool TranslateToolkitTexts();

}  // namespace norvo
