// fuzz_tokens.cpp - libFuzzer target over the tokenizer family with the delimiters
// taken from the input: the first byte is the number of delimiter bytes that
// follow (at most 8), the rest is the text. What must hold:
//   - GetToken, GetTokenD (over a buffer as large as GetTokenBuf) and GetTokenCount
//     agree on the tokens; no token holds an unescaped delimiter; the cursors stay
//     inside the text;
//   - on a text without backslashes, GetTokenParse and ParseStr cut the same words,
//     and these are GetToken's when each is shorter than GetTokenBuf;
//   - SortTokens keeps the length, and sorting a sorted list changes nothing
//     (unless the last word ends in a backslash);
//   - a keyword FindToken (FindTokenC) finds is the word of the list at that place
//     (equal in any case).
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Tokens.h"

namespace {

using fuzz::Check;

bool IsDelim(const std::string &delims, char c) {
    return c != '\0' && delims.find(c) != std::string::npos;
}

void Tokenizers(const std::string &delims, const std::string &text) {
    const char *d = delims.c_str();
    const char *begin = text.c_str();
    const char *end = begin + text.size();
    std::vector<std::string> tokens;
    for (char *t = GetToken(begin, d); t; t = GetToken(nullptr, d)) {
        tokens.push_back(t);
        Check(std::strlen(t) < static_cast<size_t>(TOKEN_BUF_SIZE));
        Check(szTokenIn >= begin && szTokenIn <= end);
    }
    Check(GetTokenCount(begin, d) == static_cast<int>(tokens.size()));

    const char *cursor = nullptr;
    char buf[TOKEN_BUF_SIZE];
    size_t i = 0;
    for (const char *in = begin; GetTokenD(in, d, &cursor, buf, sizeof buf); in = nullptr, ++i) {
        Check(i < tokens.size() && tokens[i] == buf);
        Check(cursor >= begin && cursor <= end);
    }
    Check(i == tokens.size());

    // a small buffer cuts the same tokens
    cursor = nullptr;
    char small[4];
    i = 0;
    for (const char *in = begin; GetTokenD(in, d, &cursor, small, sizeof small); in = nullptr, ++i)
        Check(i < tokens.size() && tokens[i].compare(0, sizeof small - 1, small) == 0);
    Check(i == tokens.size());

    if (text.find('\\') != std::string::npos)
        return;
    for (const std::string &t : tokens)
        for (char c : t)
            Check(!IsDelim(delims, c));
    std::string a = text, b = text;
    std::vector<std::string> parsed;
    for (char *t = GetTokenParse(a.data(), d); t; t = GetTokenParse(nullptr, d))
        parsed.push_back(t);
    std::vector<char *> words(parsed.size() + 1);
    int n = ParseStr(b.data(), d, words.data(), static_cast<int>(words.size()));
    Check(n == static_cast<int>(parsed.size()));
    bool shortWords = true;
    for (int k = 0; k < n; ++k) {
        Check(parsed[k] == words[k]);
        shortWords = shortWords && parsed[k].size() < static_cast<size_t>(TOKEN_BUF_SIZE);
    }
    if (shortWords)
        Check(parsed == tokens);
}

void Sorting(const std::string &text, char delim, int ignoreCase) {
    std::string once = text;
    SortTokens(once.data(), delim, ignoreCase);
    Check(std::strlen(once.c_str()) <= std::strlen(text.c_str()));
    // A last word ending in a backslash escapes the delimiter after it once it is
    // sorted before another word (the words are cut as StrChr cuts them).
    if (!text.empty() && text.back() == '\\')
        return;
    std::string twice = once;
    SortTokens(twice.data(), delim, ignoreCase);
    Check(std::strcmp(once.c_str(), twice.c_str()) == 0);
}

// The word of list (first character: the delimiter) at 1-based place n.
std::string WordOf(const char *list, int n) {
    char delim = list[0];
    const char *p = list + 1;
    for (int i = 1; i < n; ++i) {
        p = std::strchr(p, delim);
        if (!p)
            return std::string("\x01none");
        ++p;
    }
    const char *e = std::strchr(p, delim);
    return e ? std::string(p, e) : std::string(p);
}

bool SameIgnoringCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void Keywords(const std::string &text) {
    // the text up to its first NUL is the list, the bytes after it the word
    const char *list = text.c_str();
    size_t listLen = std::strlen(list);
    std::string word = listLen < text.size() ? std::string(text.c_str() + listLen + 1) : std::string("c");
    if (!*list)
        return;
    int at = FindToken(word.c_str(), list);
    if (at > 0)
        Check(WordOf(list, at) == word);
    int atC = FindTokenC(word.c_str(), list);
    if (atC > 0)
        Check(SameIgnoringCase(WordOf(list, atC), word));
    if (at > 0 && !std::isalpha(static_cast<unsigned char>(list[0])))
        Check(atC > 0 && atC <= at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 8192)
        return 0;
    size_t n = data[0] % 9;
    if (size < 1 + n)
        return 0;
    std::string delims(reinterpret_cast<const char *>(data) + 1, n);
    delims = delims.c_str();  // up to a NUL
    std::string text(reinterpret_cast<const char *>(data) + 1 + n, size - 1 - n);
    Keywords(text);
    text = text.c_str();
    Tokenizers(delims, text);
    Sorting(text, delims.empty() ? ',' : delims[0], data[0] & 0x10);
    return 0;
}
