// PkgListParse.cpp - the words of a package-list line and what they mean.
// The words are kept one after another in PkgLine::words: no word is longer than
// the text it was read from plus its terminator, so a line that fits `text` fits
// there too, and the tests and pairs it holds fit their arrays.
#include "PkgListParse.h"

#include <cstring>

#include "StrUtils.h"
#include "Tokens.h"

namespace {

constexpr char kCommands[] = ",dir,dirto,t,c,m,#,v,s,newdir,checkps";
constexpr char kOperators[] = ",<,<=,=,>,>=,";
constexpr char kModifiers[] = ",mode,bat,owner,group,link,name,sed";
constexpr char kDelims[] = " \r\n";

// The tokenizer's one piece of shared state that GetTokenD sets, put back.
struct KeepTokenDelimiter {
    char saved = chTokenDel;
    ~KeepTokenDelimiter() { chTokenDel = saved; }
};

// The word cursor over line->text.
struct WordReader {
    PkgLine *line;
    const char *cursor = nullptr;
    bool started = false;
    size_t used = 0;

    // The next word, or null at the end of the line.
    const char *Next() {
        char *word = line->words + used;
        size_t room = sizeof line->words - used;
        const char *in = started ? nullptr : line->text;
        started = true;
        if (room < 2 || !GetTokenD(in, kDelims, &cursor, word, room))
            return nullptr;
        used += strlen(word) + 1;
        return word;
    }
    // The rest of the line after the cursor as written, leading blanks skipped,
    // without its line end; null when nothing is left.
    const char *Rest() {
        const char *p = cursor ? cursor : "";
        while (*p == ' ')
            ++p;
        size_t n = strcspn(p, "\r\n");
        cursor = p + n;
        size_t room = sizeof line->words - used;
        if (n == 0 || n >= room)
            return nullptr;
        char *rest = line->words + used;
        memcpy(rest, p, n);
        rest[n] = '\0';
        used += n + 1;
        return rest;
    }
};

// The destination of "dirto", then the modifier pairs while both words are there.
void ParseTail(WordReader &words, PkgLine *line) {
    if (line->command == PK_DIRTO) {
        line->destination = words.Next();
        if (!line->destination) {
            line->missing = PKMISS_DESTINATION;
            return;
        }
    }
    const char *word = words.Next();
    if (!word)
        return;
    int modifier = FindToken(word, kModifiers);
    const char *value = modifier == MOD_SED ? words.Rest() : words.Next();
    while (value && line->modifiers < PKGLINE_MAX_MODIFIERS) {
        line->modifier[line->modifiers++] = {modifier, value};
        word = words.Next();
        if (!word)
            break;
        modifier = FindToken(word, kModifiers);
        value = words.Next();  // a later "sed" takes one word like the others
    }
}

}  // namespace

int ParsePkgLine(const char *text, PkgLine *line) {
    KeepTokenDelimiter keep;
    CopyStr(line->text, text);
    line->tests = 0;
    line->command = PK_NONE;
    line->operand = nullptr;
    line->destination = nullptr;
    line->modifiers = 0;
    line->missing = PKMISS_NONE;

    WordReader words{line};
    const char *word = words.Next();
    while (word) {
        int command = FindToken(word, kCommands);
        line->command = command ? command : PK_COPY;
        if (command == PK_COMMENT)
            break;
        line->operand = words.Next();
        if (!line->operand) {
            line->missing = PKMISS_OPERAND;
            break;
        }
        if (command != PK_VERSION) {
            ParseTail(words, line);
            break;
        }
        const char *release = words.Next();
        if (!release) {
            line->missing = PKMISS_RELEASE;
            break;
        }
        if (line->tests < PKGLINE_MAX_TESTS)
            line->test[line->tests++] = {FindToken(line->operand, kOperators), release};
        // the word after the test is the command of this line, with its own operand
        line->command = PK_NONE;
        line->operand = nullptr;
        word = words.Next();
    }
    return line->missing;
}

const char *PkgLineMissing(int missing) {
    static const char *const kMissing[] = {"nothing", "the operand", "the destination", "the release"};
    if (missing < 0 || missing >= static_cast<int>(sizeof kMissing / sizeof kMissing[0]))
        return "a word";
    return kMissing[missing];
}
