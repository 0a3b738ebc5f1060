// Validate.cpp - the validation template language of typed entries.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MemMgr.h"
#include "NlsUtils.h"
#include "StrUtils.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"

char *pErrIntRange = nullptr;
const char textmenu_060[] = "This number must be between %f to %f.";

using namespace textmenu;

namespace {

using MString = std::basic_string<char, std::char_traits<char>, MemAllocator<char>>;

enum FaultKind {
    FAULT_FIXED,      // fixed character
    FAULT_ALNUM,      // A and p: 25_1007
    FAULT_ALPHA,      // a: 25_1008
    FAULT_LENGTH,     // 30_42, 30_44
    FAULT_DIGIT,      // d: "Invalid digit:  %c\n"
    FAULT_INTRANGE,   // d: 25_1003
    FAULT_HEXRANGE,   // x
    FAULT_FLOATCHAR,  // f: 25_1006
    FAULT_POINTS,     // f: 25_1020
    FAULT_FLOATRANGE, // f: textmenu_060
    FAULT_WORD,       // !: 25_1009
};

struct Fault {
    FaultKind Kind;
    int Result;
    char Found;
    char Expected;
    long Min, Max;
    double FMin, FMax;
    const char *Text;  // accepted text, extra characters or the entry
};

struct Scan {
    const char *Entry;
    size_t Len;
    const char *T;  // template cursor
    size_t Pos;     // current position in the entry
    MString Accepted;
    MString Plus;
    MString Minus;
    Fault F;
};

int ClampInt(long v) {
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

// "(min,max)" after an element letter; a missing number reads as 0.
void ReadBounds(Scan &s, long &min, long &max) {
    min = max = 0;
    if (*s.T != '(')
        return;
    char *end = nullptr;
    min = std::strtol(s.T + 1, &end, 10);
    s.T = end + std::strcspn(end, ",)");
    if (*s.T == ',') {
        max = std::strtol(s.T + 1, &end, 10);
        s.T = end + std::strcspn(end, ")");
    }
    if (*s.T == ')')
        ++s.T;
}

void ReadFloatBounds(Scan &s, double &min, double &max) {
    min = max = 0;
    if (*s.T != '(')
        return;
    char *end = nullptr;
    min = std::strtod(s.T + 1, &end);
    s.T = end + std::strcspn(end, ",)");
    if (*s.T == ',') {
        max = std::strtod(s.T + 1, &end);
        s.T = end + std::strcspn(end, ")");
    }
    if (*s.T == ')')
        ++s.T;
}

// "+c" adds an allowed character, "-c" names an excluded one.
void ReadPairs(Scan &s) {
    s.Plus.clear();
    s.Minus.clear();
    while ((*s.T == '+' || *s.T == '-') && s.T[1]) {
        (*s.T == '+' ? s.Plus : s.Minus).push_back(s.T[1]);
        s.T += 2;
    }
}

int Fail(Scan &s, FaultKind kind, int result) {
    s.F.Kind = kind;
    s.F.Result = result;
    return result;
}

int CheckLength(Scan &s, long min, long max) {
    if (max == 0 || (static_cast<long>(s.Len) >= min && static_cast<long>(s.Len) <= max))
        return 0;
    s.F.Min = min;
    s.F.Max = max;
    return Fail(s, FAULT_LENGTH, 2);
}

bool InClass(char element, unsigned char c) {
    switch (element) {
    case 'A':
        return std::isalnum(c);
    case 'a':
        return std::isalpha(c);
    default:  // p
        return std::isalnum(c) || std::ispunct(c) || c == ' ';
    }
}

int CheckClass(Scan &s, char element) {
    long min, max;
    ReadBounds(s, min, max);
    ReadPairs(s);
    for (size_t i = s.Pos; i < s.Len; ++i) {
        unsigned char c = static_cast<unsigned char>(s.Entry[i]);
        if (!InClass(element, c) && s.Plus.find(static_cast<char>(c)) == MString::npos) {
            s.F.Found = static_cast<char>(c);
            s.F.Text = s.Plus.c_str();
            return Fail(s, element == 'a' ? FAULT_ALPHA : FAULT_ALNUM, 3);
        }
    }
    s.Pos = s.Len;
    return CheckLength(s, min, max);
}

void SkipAlternative(Scan &s) {
    s.T += std::strcspn(s.T, "&|");
}

// Past a number read at the current position, and one character more.
void AdvancePast(Scan &s, const char *end) {
    s.Pos = static_cast<size_t>(end - s.Entry);
    if (s.Pos < s.Len)
        ++s.Pos;
}

int CheckInteger(Scan &s) {
    const char *start = s.Entry + s.Pos;
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(start, &end, 10);
    bool overflow = errno == ERANGE || value > INT_MAX || value < INT_MIN;
    AdvancePast(s, end);
    long min, max;
    ReadBounds(s, min, max);
    ReadPairs(s);
    for (size_t i = 0; i < s.Len; ++i) {
        char c = s.Entry[i];
        if (!std::isdigit(static_cast<unsigned char>(c)) || s.Minus.find(c) != MString::npos) {
            s.F.Found = c;
            return Fail(s, FAULT_DIGIT, 3);
        }
    }
    if (max == 0 && !overflow)
        return 0;
    if (max == 0) {
        min = INT_MIN;
        max = INT_MAX;
    }
    if (overflow || value < min || value > max) {
        s.F.Min = min;
        s.F.Max = max;
        return Fail(s, FAULT_INTRANGE, 1);
    }
    SkipAlternative(s);
    return 0;
}

int CheckHex(Scan &s) {
    const char *start = s.Entry + s.Pos;
    char *end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(start, &end, 16);
    bool overflow = errno == ERANGE || value > UINT32_MAX;
    AdvancePast(s, end);
    long min, max;
    ReadBounds(s, min, max);
    if (max == 0 && !overflow)
        return 0;
    if (max == 0) {
        min = 0;
        max = static_cast<long>(UINT32_MAX);
    }
    if (overflow || static_cast<long long>(value) < min || static_cast<long long>(value) > max) {
        s.F.Min = min;
        s.F.Max = max;
        return Fail(s, FAULT_HEXRANGE, 1);
    }
    SkipAlternative(s);
    return 0;
}

int CheckFloat(Scan &s) {
    int points = 0;
    for (size_t i = s.Pos; i < s.Len; ++i) {
        char c = s.Entry[i];
        if (c == '.' && ++points > 1)
            return Fail(s, FAULT_POINTS, 1);
        if (c != '.' && !std::isdigit(static_cast<unsigned char>(c))) {
            s.F.Found = c;
            return Fail(s, FAULT_FLOATCHAR, 3);
        }
    }
    char *end = nullptr;
    double value = std::strtod(s.Entry + s.Pos, &end);
    AdvancePast(s, end);
    double min, max;
    ReadFloatBounds(s, min, max);
    if (max == 0)
        return 0;
    if (value < min || value > max) {
        s.F.FMin = min;
        s.F.FMax = max;
        return Fail(s, FAULT_FLOATRANGE, 1);
    }
    SkipAlternative(s);
    return 0;
}

// "!(word)": the entry is refused when it is the word, and accepted at once otherwise.
int CheckWord(Scan &s, bool &accepted) {
    const char *word = s.T;
    if (*word == '(')
        ++word;
    size_t n = std::strcspn(word, ")");
    s.T = word + n + (word[n] == ')' ? 1 : 0);
    if (n == s.Len && std::strncmp(word, s.Entry, n) == 0) {
        s.F.Text = s.Entry;
        return Fail(s, FAULT_WORD, 4);
    }
    accepted = true;
    return 0;
}

int CheckFixed(Scan &s, char expected) {
    ++s.T;
    if (s.Pos < s.Len && s.Entry[s.Pos] == expected) {
        s.Accepted.push_back(expected);
        ++s.Pos;
        return 0;
    }
    s.F.Found = s.Entry[s.Pos];
    s.F.Expected = expected;
    s.F.Text = s.Accepted.c_str();
    return Fail(s, FAULT_FIXED, 3);
}

void ReportRange(const Fault &f) {
    char msg[MSG_SIZE];
    if (!pErrIntRange)
        return;
    NlsFormatChecked(msg, sizeof msg, pErrIntRange, "25_1003", "This number must be between %i to %i.",
                     ClampInt(f.Min), ClampInt(f.Max));
    PostMsg("%s", msg);
}

void Report(const Fault &f) {
    char msg[MSG_SIZE], text[MSG_SIZE];
    ShownByte found = Show(f.Found);
    switch (f.Kind) {
    case FAULT_FIXED:
        PostMsg("Invalid character %s\n%s was expected after \"%s\"", found.Text, Show(f.Expected).Text,
                f.Text);
        return;
    case FAULT_ALNUM:
        NlsFormatChecked(msg, sizeof msg, ByteMessageText(25, 1007, text, sizeof text), "25_1007",
                         "Invalid character '%s'\nThis text may contain \"abc..zABC..Z012..9%s\"", found.Text,
                         f.Text);
        break;
    case FAULT_ALPHA:
        NlsFormatChecked(msg, sizeof msg, ByteMessageText(25, 1008, text, sizeof text), "25_1008",
                         "Invalid character '%s'\nThis text may contain \"abc..zABC..Z%s\"", found.Text, f.Text);
        break;
    case FAULT_LENGTH:
        if (f.Min == f.Max)
            // "This text must be exactly %i characters long.", given the bounds twice
            FormatMessage(msg, sizeof msg, 30, 44, "%i%i", ClampInt(f.Min), ClampInt(f.Max));
        else
            FormatMessage(msg, sizeof msg, 30, 42,
                          "This text length must be from %i to %i characters long.", ClampInt(f.Min),
                          ClampInt(f.Max));
        break;
    case FAULT_DIGIT:
        PostMsg("Invalid digit:  %s\n", found.Text);
        return;
    case FAULT_INTRANGE:
        ReportRange(f);
        return;
    case FAULT_HEXRANGE:
        PostMsg("This number must be between %x to %x.", static_cast<unsigned>(f.Min),
                static_cast<unsigned>(f.Max));
        return;
    case FAULT_FLOATCHAR:
        NlsFormatChecked(msg, sizeof msg, ByteMessageText(25, 1006, text, sizeof text), "25_1006",
                         "Invalid character '%s'\nThis text may contain \"0123456789.\"", found.Text);
        break;
    case FAULT_POINTS:
        FormatMessage(msg, sizeof msg, 25, 1020, "Only one '.' may be entered.");
        break;
    case FAULT_FLOATRANGE:
        PostMsg(textmenu_060, f.FMin, f.FMax);
        return;
    case FAULT_WORD:
        FormatMessage(msg, sizeof msg, 25, 1009, "Invalid entry \"%s\"", f.Text);
        break;
    }
    PostMsg("%s", msg);
}

// A failure of A, a, p, t, L or a fixed character is silent when the next of "|" and
// "&" ahead in the template is "|": the next alternative is tried.
bool NextAlternative(Scan &s) {
    const char *q = s.T + std::strcspn(s.T, "|&");
    if (*q != '|')
        return false;
    s.T = q + 1;
    s.Pos = 0;
    s.Accepted.clear();
    return true;
}

// One element at the template cursor: 0 passed, else the fault's result. valid is set
// when the element accepts the whole entry at once; alternativeMayFollow when a
// failure of this element may fall through to the next alternative.
int Element(Scan &s, bool &valid, bool &alternativeMayFollow) {
    char c = *s.T;
    alternativeMayFollow = false;
    switch (c) {
    case 'A':
    case 'a':
    case 'p':
        ++s.T;
        alternativeMayFollow = true;
        return CheckClass(s, c);
    case 't':
    case 'L': {
        ++s.T;
        long min, max;
        ReadBounds(s, min, max);
        alternativeMayFollow = true;
        return CheckLength(s, min, max);
    }
    case 'd':
        ++s.T;
        return CheckInteger(s);
    case 'x':
        ++s.T;
        return CheckHex(s);
    case 'f':
        ++s.T;
        return CheckFloat(s);
    case '!':
        ++s.T;
        return CheckWord(s, valid);
    default:
        alternativeMayFollow = true;
        return CheckFixed(s, c);
    }
}

int Validate(const char *entry, const char *templ, bool report) {
    if (!templ || !*templ)
        return 0;
    if (!pErrIntRange) {
        char buf[MSG_SIZE];
        pErrIntRange = SaveStr_(FetchText(25, 1003, buf, sizeof buf));
    }
    Scan s{};
    s.Entry = entry ? entry : "";
    s.Len = std::strlen(s.Entry);
    s.T = templ;
    for (;;) {
        char c = *s.T;
        if (c == '\0' || c == '|')
            return 0;
        if (c == ' ' || c == '\t' || c == '\n') {
            ++s.T;
            continue;
        }
        if (c == '&') {
            ++s.T;
            s.Pos = 0;
            s.Accepted.clear();
            continue;
        }
        bool valid = false, alternativeMayFollow = false;
        int result = Element(s, valid, alternativeMayFollow);
        if (valid)
            return 0;
        if (result == 0)
            continue;
        if (alternativeMayFollow && NextAlternative(s))
            continue;
        if (report)
            Report(s.F);
        return result;
    }
}

}  // namespace

int ValidateEntry(const char *entry, const char *templ) {
    return Validate(entry, templ, true);
}

namespace textmenu {

int CheckEntry(const char *entry, const char *templ) {
    return Validate(entry, templ, false);
}

}  // namespace textmenu
