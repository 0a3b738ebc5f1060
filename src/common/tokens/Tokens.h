// Tokens.h - the shared tokenizer and keyword lists.
// GetToken(in, delims): in = string starts a scan, null continues, TOKEN_SAMELINE
// continues but returns null (cursor past the newline) when a token ends at a
// newline. The token lives in GetTokenBuf (128 bytes) until the next call of
// GetToken, GetTokenN or GetTokenCount. A token over 127 characters keeps its first
// 127 and the rest is consumed to its delimiter. szTokenIn: just past the consumed
// delimiter; chTokenDel: that delimiter (0 when none). Not reentrant: nested users
// save GetTokenBufInput()/szTokenIn and chTokenDel and restore them.
// Keyword list: first character is the delimiter (",a,b,c"); FindToken (exact) and
// FindTokenC (any case) give the 1-based position, 0 when absent; words of any
// length are compared in place, and a word holding the delimiter is in no list.
// The empty text after a trailing delimiter is not a word. SortTokens sorts a
// delimited list in place without changing its length.
// GetsLine reads one line from file descriptor 0 with read(2), one byte at a time (so
// nothing past the line is consumed), into buf (size bytes, newline not stored).
// Only the end of the stream ends the input; every byte value is text. GETS_LINE: a
// line (also one cut by the end of input); GETS_END: the end of input with nothing
// read; GETS_TOOLONG: the line had size bytes or more: buf keeps its first size - 1,
// the rest up to and including the newline was read and dropped.
// Gets(buf, size): GetsLine as the buffer, null for GETS_END.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int TOKEN_BUF_SIZE = 128;
// The all-bits-set input: continue on the same line.
#define TOKEN_SAMELINE (reinterpret_cast<char *>(~static_cast<uintptr_t>(0)))

extern char GetTokenBuf[TOKEN_BUF_SIZE];
extern const char *szTokenIn;
extern char chTokenDel;

void SetTokenBuf(const char *in);
const char *GetTokenBufInput();
char *GetToken(const char *in, const char *delims);
// As GetToken over the caller's cursor and buffer (size bytes, terminator included;
// a longer token is cut and consumed to its delimiter). A string input sets *cursor.
// Touches only chTokenDel of the shared state.
char *GetTokenD(const char *in, const char *delims, const char **cursor, char *buf, size_t size);
// In-place tokenizing of a writable string: delimiters become NUL. A null input
// continues in the string last given to GetToken/GetTokenParse, which must then be
// writable.
char *GetTokenParse(char *in, const char *delims);
char *GetTokenN(const char *in, const char *delims, int n);
// Counts the tokens (of in, or left after the cursor for null); the scan state and
// GetTokenBuf are restored, chTokenDel is left as the count set it.
int GetTokenCount(const char *in, const char *delims);
int ParseStr(char *str, const char *delims, char **array, int length);
int FindToken(const char *word, const char *list);
int FindTokenC(const char *word, const char *list);
void SortTokens(char *list, char delim, int ignoreCase);
enum { GETS_END = 0, GETS_LINE = 1, GETS_TOOLONG = 2 };
int GetsLine(char *buf, int size);
char *Gets(char *buf, int size);
