// NlsUtils.h - the database language, translation files and message fetches.
//
// Message databases are typed record files (DbmT.h) under "<tool path>/db/<language>/";
// a message key is "<group>_<number>" (for example 25_1002). The language is chosen once
// from LANG through "trans.conf" beside the program (or message 999_1 of the English
// core database) and kept in pNLSLang.
//
// Fetch results (NlsFetchString, NlsFetchStringN):
//   found, no buffer given     -> a new saved copy; release it with NlsFreeString (or PutMem)
//   found, buffer given        -> the buffer
//   not found                  -> the key text ("25_1002"), owned by this module
//   no handle, fetch by key    -> the shared text "Error", owned by this module
//   no handle, group+number    -> the key text
// Module-owned texts stay valid until the next fetch. NlsFreeString releases exactly
// the new saved copies and ignores everything else, so it is always safe to call on a
// result of a fetch made without a buffer.
//
// Database texts used as printf formats are checked first: NlsFormatMatches(text,
// expected) says whether text's conversions agree, in order and type, with those of
// expected (an English text such as "%i to %i" or a bare signature such as "%i%i").
// The text may use fewer conversions than expected (the remaining arguments are
// ignored), never more, never other types, never "%n" or positional forms. A text
// that fails is treated as a missing message.
//
// Single-threaded; the module buffers and the once-computed values are process-wide.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include "Attrs.h"

struct DbT;  // typed record database handle (DbmT.h)

extern DbT *pDrvCoreDB;  // core strings of the menus and the help viewer, or null
extern DbT *pPrtCoreDB;  // printer core strings, or null
extern DbT *pPrtHelpDB;  // help database used by help redirects, or null
extern char *pNLSLang;   // chosen language directory, saved string, computed once

// Fetch modes of NlsFetchString.
enum {
    NLS_BY_NUMBER = 0,  // group, number: value or key text
    NLS_BY_KEY = 1,     // key text: value or key text ("Error" without a handle)
    NLS_BY_KEY2 = 2,    // as 1
    NLS_BY_NUMBER_LONG = 3  // group, number: always a new saved copy of the value, or key text
};

constexpr int NLS_TRANS_MAX = 8192;     // bytes of the normalised translation text, NUL included
constexpr int NLS_FETCH_UNSIZED = 1024; // room NlsFetchString assumes in a caller's buffer
constexpr int NLS_LONG_BUF = 2048;      // module buffer of the long-text fetch (mode 3)
constexpr int NLS_SIG_SIZE = 17;        // "%08X%08X" and its NUL

// The language directory name ("en_US", "fr", ...), computed once from LANG.
char *GetDesiredNLSLang();
// Test seam: forget the language and the translation table (the next call recomputes).
void NlsResetLang();

// Normalised text of a translation file (name relative to the tool path); a saved
// string (PutMem), or null when the file cannot be read. Stops at 8191 bytes.
char *ParseTransFile(const char *name);
// The same normalisation over bytes in memory (n bytes, NULs allowed); never null.
char *ParseTransText(const char *text, size_t n);

// The language a normalised translation table gives for a LANG value (the rules
// of GetDesiredNLSLang past reading the table); a saved string (PutMem).
char *NlsChooseLanguage(const char *table, const char *lang);

// Opens "<tool path>/db/<language>/<name>.xdb" (DbTOpen flags). An English database
// that cannot be loaded prints "ERROR:  Could not open English database:  <path>" and
// gives null; another language gives an empty handle.
DbT *NlsOpenDB(const char *name, int flags);

// Modes 0 and 3: (int group, int number); modes 1 and 2: (const char *key).
// With a buffer, this unsized form copies at most NLS_FETCH_UNSIZED bytes (NUL
// included); in-tree callers use NlsFetchStringN.
char *NlsFetchString(DbT *db, char *buf, int mode, ...);
// As NlsFetchString; a buffer given receives at most size bytes, NUL included (size 0:
// nothing is written). *full (when not null) receives the full length of the text the
// fetch found (the value, or the key or "Error" text), so that full >= size shows a cut.
char *NlsFetchStringN(DbT *db, char *buf, size_t size, size_t *full, int mode, ...);
char *NlsFetchStringV(DbT *db, char *buf, size_t size, size_t *full, int mode, va_list ap);
// Releases a fetch result when it is a new saved copy; ignores module texts and null.
void NlsFreeString(char *text);
// 1 when text is a module text (key text or "Error"), i.e. the message was missing.
int NlsIsMissing(const char *text);

// The conversion check (see above): 1 when text may be used as a format with the
// arguments described by expected, 0 otherwise (also for a null text or expected).
int NlsFormatMatches(const char *text, const char *expected);
// The conversions Nlsfprintf and Nlssprintf accept for a message: the English text
// or signature of the known messages, "" (no conversions) for any other.
const char *NlsExpectedFormat(int group, int number);

// Prints message group_number formatted with the arguments when it is found and its
// conversions pass NlsExpectedFormat; otherwise prints "Error". Returns what fprintf
// returns.
int Nlsfprintf(FILE *stream, DbT *db, int group, int number, ...);
// Writes message group_number formatted into buf (at most size bytes, NUL included),
// or "Error" when it is missing or fails the check; returns the full formatted length.
int Nlssprintf(char *buf, size_t size, DbT *db, int group, int number, ...);

// Printing a text already fetched: english is the caller's literal English format,
// checked against the arguments by the compiler; text is used only when
// NlsFormatMatches(text, english) holds, otherwise fallback is printed as plain text
// (null fallback: "Error"). Return what fprintf / vsnprintf return (full length).
int NlsPrintChecked(FILE *stream, const char *text, const char *fallback, const char *english, ...)
    PRINTF_LIKE(4, 5);
int NlsFormatChecked(char *buf, size_t size, const char *text, const char *fallback,
                     const char *english, ...) PRINTF_LIKE(5, 6);
int NlsVFormatChecked(char *buf, size_t size, const char *text, const char *fallback,
                      const char *english, va_list ap) PRINTF_LIKE(5, 0);

// Copies source into out (size bytes, cleared first), replacing the n-th "%s" by
// message n of the group (fetched into a 1024-byte buffer). Returns the full length the
// result would have; a result of size or more was cut (out stays NUL-terminated).
int NlsGuiStrCvt(const char *source, int group, char *out, size_t size);

// "%08X%08X" of b and a: a = sum of the signed bytes, b = sum of byte * i * i (i from
// 1), both modulo 2^32. The result lives in a module buffer until the next call.
char *NlsCalcStrVal(const char *text);

// A saved copy of message 25_number of pDrvCoreDB (its key text when missing).
char *NlsFetchMenuText(int number);

// Item converters: saved copies of messages 25 of consecutive numbers into the text,
// state-list or prompt field of consecutive items (any item record with pText,
// pStates and pPrompt fields, such as TextMenuItem).
template <class C> void NlsTtyMenuCvt(C **text, int number) {
    *text = NlsFetchMenuText(number);
}
template <class Item> void NlsTtyMenuItemCvt(Item *items, int first, int count) {
    for (int i = 0; i < count; ++i)
        items[i].pText = NlsFetchMenuText(first + i);
}
template <class Item> void NlsTtyMenuItemStateCvt(Item *items, int first, int count) {
    for (int i = 0; i < count; ++i)
        items[i].pStates = NlsFetchMenuText(first + i);
}
template <class Item> void NlsTtyMenuItemPromptCvt(Item *items, int first, int count) {
    for (int i = 0; i < count; ++i)
        items[i].pPrompt = NlsFetchMenuText(first + i);
}
