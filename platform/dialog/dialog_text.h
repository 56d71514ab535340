// The dialog's texts in the user's language. The program writes its texts in
// English (the message ids); GNU gettext's catalog "nereval" holds their
// translations (po/<lang>.po, built into <catalogs>/<lang>/LC_MESSAGES/nereval.mo).
// The language follows LANGUAGE, LC_ALL, LC_MESSAGES and LANG as gettext
// reads them; the C and POSIX locales and every language without a catalog
// get the English texts. Template texts are marked with N_() and translated
// by the dialog layer when it shows them (DialogTemplate::textDomain); texts a
// procedure builds itself (message boxes, the chooser's title) go through
// DialogText. Only the dialog's own catalog is used: the process's default
// text domain is left alone.
#pragma once

// Marks an English text for the catalog where it is written; translated
// where it is shown.
#define N_(text) text

// The dialog's message catalog.
inline constexpr const char* kDialogTextDomain = "nereval";

// `msgid` in the user's language: its translation when the catalog has one,
// else `msgid` itself. An empty text stays empty. The result lives as long as
// the program. Before BindDialogTexts (or in the C locale) always `msgid`.
const char* DialogText(const char* msgid) __attribute__((format_arg(1)));

// Takes the process's locale from the environment (setlocale(LC_ALL, "")) and
// reads the catalog from `folder` (<folder>/<lang>/LC_MESSAGES/nereval.mo), as
// UTF-8 whatever the locale's own encoding. Called before the first dialog.
void BindDialogTexts(const char* folder);
