// FileEdit.h - line-by-line edits of a text file, in the manner of a stream editor.
// A file is named by path and extension: "path.ext", or path alone for an empty
// extension; it is copied line by line into the work file "path.extout" ("path.out"
// for an empty extension; an existing one is overwritten), then the work file replaces
// it with one rename. Lines are read whole, however long, and matched by case-sensitive
// substring; only the first occurrence in a line counts unless said otherwise.
// Failures stop the program: a file that cannot be opened through OpenFile at level 2
// ("can't open file, %s"); a write, close or rename that fails through SysError
// ("ERROR: couldn't write %s") after removing the work file, the file left untouched.
// The operations return 0; FileDelFormat returns 1 for an unknown mode, before anything
// is written (the file is unchanged, the empty work file stays).
// OpenIOFiles opens "path.ext" as pIn and its work file "path.extout" as pOut (names in
// Fn and FnOut, 128 bytes; a longer name stops like a file that cannot be opened);
// ReplaceInputFile closes both and renames the work file over the file.
#pragma once

constexpr int FILEEDIT_NAME_SIZE = 128;

extern char Fn[FILEEDIT_NAME_SIZE];
extern char FnOut[FILEEDIT_NAME_SIZE];

// Replaces the first occurrence of text in each line.
int FileChange(const char *path, const char *ext, const char *text, const char *replacement);
// Replaces every character code (read as "%i": 65, 0x41, 0101) by the bytes of the
// comma-separated codes of list (none for a null list).
int FileChangeChar(const char *path, const char *ext, const char *code, const char *list);
// The first n lines holding text are kept as they are; in later ones its first
// occurrence is removed (FileDel) or the line is (FileDelLine).
int FileDel(const char *path, const char *ext, int n, const char *text);
int FileDelLine(const char *path, const char *ext, int n, const char *text);
// The first n lines holding start are kept; each later one is removed together with the
// next line holding end (a line holding start never ends a pair).
int FileDelLinePair(const char *path, const char *ext, int n, const char *start, const char *end);
// Mode "" removes text's first occurrence, "a" cuts the line after text and ends it, "b"
// removes what precedes text, "c" removes every character whose code text gives from
// every line, "l" removes the line.
int FileDelFormat(const char *path, const char *ext, const char *mode, const char *text);
// Writes templ before every line (FileInsert) or before the lines holding search
// (FileSearchInsert). "%s" and digits in templ set the first line number (and are
// removed); "%#" and digits a threshold: below it nothing is written, from it on
// "%#digits" shows the number minus the threshold as "%05i".
int FileInsert(const char *path, const char *ext, const char *templ);
int FileSearchInsert(const char *path, const char *ext, const char *templ, const char *search);

void OpenIOFiles(const char *path, const char *ext);
void ReplaceInputFile();
