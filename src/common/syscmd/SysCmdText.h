// SysCmdText.h - text helpers private to the syscmd module (not for other modules).
#pragma once
#include <cstring>
#include <string>
#include <string_view>
#include "MemMgr.h"

using CmdText = std::basic_string<char, std::char_traits<char>, MemAllocator<char>>;

// Appends text protected for the inside of a double-quoted shell word: a backslash
// before each \ " $ and backquote, so the outer shell hands it on unchanged.
void AppendInQuotes(CmdText &line, std::string_view text);
// Appends value as ShQuote would return it.
void AppendQuoted(CmdText &line, std::string_view value);
// The reason a run failed, from the result of system() or pclose().
// Returns 0 for success, else the result code; fills reason (size bytes) with the
// system's error text, "exit status N" or "killed by signal N".
int StatusResult(int status, int savedErrno, char *reason, size_t size);
// A GetMem copy of the text (null when memory is exhausted).
char *SaveText(const CmdText &text);
// Calls fn(word) for each word of a caller's text as the shell reads it (single
// and double quotes, backslashes; blanks, tabs and line ends separate words).
template <class Fn> void ForEachShellWord(const char *text, Fn fn) {
    CmdText word;
    bool inWord = false;
    auto endWord = [&] {
        if (inWord)
            fn(word);
        word.clear();
        inWord = false;
    };
    for (const char *p = text ? text : ""; *p; ++p) {
        char c = *p;
        if (c == ' ' || c == '\t' || c == '\n') {
            endWord();
            continue;
        }
        inWord = true;
        if (c == '\'' || c == '"') {
            const char *close = std::strchr(p + 1, c);
            size_t n = close ? static_cast<size_t>(close - p - 1) : std::strlen(p + 1);
            word.append(p + 1, n);
            p += n + (close ? 1 : 0);
        } else if (c == '\\' && p[1]) {
            word += *++p;
        } else {
            word += c;
        }
    }
    endWord();
}
