// SysCmdText.h - text helpers private to the syscmd module (not for other modules).
#pragma once
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
