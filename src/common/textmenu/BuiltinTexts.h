// BuiltinTexts.h - the menu engine's and the help viewer's own texts (groups 20, 25
// and 30 of the shipped message sources, six languages), compiled in at build time so
// that the menus read well without a message database.
// BuiltinText(lang, group, number): the text in that language ("en_US", "fr_FR", ...);
// the English text when the language is unknown or lacks the message; null when no
// language has it. BuiltinTransTable: the shipped translation table, normalised (the
// text of message 999_1), for choosing the language without trans.conf.
// Static data: valid for the life of the program.
#pragma once

const char *BuiltinText(const char *lang, int group, int number);
extern const char BuiltinTransTable[];
