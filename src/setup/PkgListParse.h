// PkgListParse.h - one line of the package list read into its parts, without acting
// on it: the installer runs what it gives, the media builder checks lists with it.
// A line is zero or more version tests ("v", operator, release), then one command:
// its word, its operand, the destination of "dirto", then modifier pairs (word,
// value). Words are split at blanks, CR and LF (a tab is part of a word), with the
// tokenizer's escapes. "#" as a word of its own makes the rest a comment. A first
// "sed" modifier takes the rest of the line as written, blanks included.
// ParsePkgLine(text, line) fills *line from at most LINEBUF_SIZE - 1 characters of
// text (its line end may be there) and returns line->missing. It changes nothing
// but *line; every word it gives points into *line and lives as long as it does.
// A line whose command lacks a word has `missing` set (PKMISS_*) after its `tests`
// complete version tests: it runs no command, and the installer reports it when
// those tests hold. A modifier word without a value ends the modifiers unreported.
// PkgLineMissing(missing) names the missing word in English ("the operand").
#pragma once
#include "Buffers.h"

// Command words, by their place in ",dir,dirto,t,c,m,#,v,s,newdir,checkps"; any
// other word copies like "c". PK_NONE: an empty line, or version tests alone.
enum {
    PK_NONE = 0,
    PK_DIR,
    PK_DIRTO,
    PK_TOUCH,
    PK_COPY,
    PK_IFEXISTS,
    PK_COMMENT,
    PK_VERSION,
    PK_IFEXISTS2,
    PK_NEWDIR,
    PK_CHECKPS
};
// Version test operators of ",<,<=,=,>,>=,"; 0 is any other word, which never holds.
enum { OP_LT = 1, OP_LE, OP_EQ, OP_GT, OP_GE };
// Modifier words of ",mode,bat,owner,group,link,name,sed"; 0 is any other word,
// skipped with its value.
enum { MOD_MODE = 1, MOD_BAT, MOD_OWNER, MOD_GROUP, MOD_LINK, MOD_NAME, MOD_SED };
// The word a command lacks.
enum { PKMISS_NONE = 0, PKMISS_OPERAND, PKMISS_DESTINATION, PKMISS_RELEASE };

// The most a line of LINEBUF_SIZE - 1 characters can hold: a test takes at least
// six characters ("v < 5 "), a modifier pair four ("m 1 ").
constexpr int PKGLINE_MAX_TESTS = LINEBUF_SIZE / 6;
constexpr int PKGLINE_MAX_MODIFIERS = LINEBUF_SIZE / 4;

struct PkgTest {
    int op;               // OP_*, or 0
    const char *release;  // the release compared with the system's
};
struct PkgModifier {
    int modifier;         // MOD_*, or 0
    const char *value;
};
struct PkgLine {
    char text[LINEBUF_SIZE];  // the line as given
    int tests;
    PkgTest test[PKGLINE_MAX_TESTS];
    int command;              // PK_*: of the first word after the tests
    const char *operand;      // null when missing, and for PK_NONE and PK_COMMENT
    const char *destination;  // "dirto" only
    int modifiers;
    PkgModifier modifier[PKGLINE_MAX_MODIFIERS];
    int missing;              // PKMISS_*
    char words[LINEBUF_SIZE]; // where the words above are kept
};

int ParsePkgLine(const char *text, PkgLine *line);
const char *PkgLineMissing(int missing);
