// StateFormat.cpp - effects of a pick item on other items (N, H, P, S groups) and the
// condition language of submenu items.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "TextMenu.h"
#include "TextMenuPriv.h"
#include "Tokens.h"
#include "StrUtils.h"

using namespace textmenu;

namespace {

constexpr const char *FORMAT_DELIMS = "{,.} ";
constexpr int TERM_SIZE = 64;

// Nesting of P effects: a chain of P effects can visit each item at most once
// before it must be a loop.
int FormatDepth = 0;
// P effects run by one outermost format: formats that name their targets many
// times would otherwise multiply at every level. Past count * count further P
// effects are left out (each item's format reached from each item's at most).
int FormatRuns = 0;

// A target index token: all digits and naming an item of the menu, else -1.
int TargetIndex(const char *token, int count) {
    if (!token || !std::isdigit(static_cast<unsigned char>(token[0])))
        return -1;
    char *end = nullptr;
    long n = std::strtol(token, &end, 10);
    if (*end || n >= count)
        return -1;
    return static_cast<int>(n);
}

void ApplyP(TextMenu *menu, TextMenuItem *target, int index) {
    int count = ItemCount(menu);
    if (FormatRuns >= count * count)
        return;
    ++FormatRuns;
    const char *savedIn = szTokenIn;
    char savedDel = chTokenDel;
    ProcessStateFormat(menu, index);
    if (target->pfnHandler)
        target->pfnHandler(menu, target);
    SetTokenBuf(savedIn);
    chTokenDel = savedDel;
}

void ApplyS(TextMenuItem *target, bool match, const char *valueToken) {
    if (match) {
        if (!valueToken)
            return;
        // A repeated match keeps the value saved first, so the original comes back.
        if (target->SavedValue < 0)
            target->SavedValue = target->Value.i;
        target->Value.i = ParseInt(valueToken);
    } else if (target->SavedValue >= 0) {
        target->Value.i = target->SavedValue;
        target->SavedValue = -1;
    }
}

// Applies one operator to the target named by the token in hand.
void ApplyEffect(TextMenu *menu, char op, bool match, const char *token) {
    int count = ItemCount(menu);
    int index = TargetIndex(token, count);
    TextMenuItem *target = index >= 0 ? &menu->pItems[index] : nullptr;
    switch (op) {
    case 'N':
        if (target)
            target->State = match ? MENUSTATE_INACTIVE : MENUSTATE_NORMAL;
        break;
    case 'H':
        if (target)
            target->State = match ? MENUSTATE_HIDDEN : MENUSTATE_NORMAL;
        break;
    case 'P':
        if (target && match)
            ApplyP(menu, target, index);
        break;
    case 'S': {
        const char *value = GetToken(nullptr, FORMAT_DELIMS);  // the value after the point
        if (target)
            ApplyS(target, match, value);
        break;
    }
    default:
        break;
    }
}

// Condition evaluation: one module-wide cursor over the condition string. Operators
// combine left to right; "!" takes the following operand, parentheses group, and an
// A after a term asks for the value and a State that is not 0. An operand that cannot
// change the result is read over without being tested.
struct CondScan {
    const char *p;
    TextMenu *menu;
    int owner;
};
CondScan Cond;

bool EvalExpr(bool skip, bool top);

bool EvalTerm(bool skip) {
    char term[TERM_SIZE];
    int n = 0;
    while (*Cond.p && !std::strchr("()!&|A", *Cond.p)) {
        if (n < TERM_SIZE - 1)
            term[n++] = *Cond.p;
        ++Cond.p;
    }
    term[n] = '\0';
    bool suffixA = *Cond.p == 'A';
    if (suffixA)
        ++Cond.p;
    if (skip)
        return false;
    int state = TestState(Cond.menu, term, Cond.owner);
    return suffixA ? state == 2 : state != 0;
}

bool EvalOperand(bool skip) {
    if (*Cond.p == '!') {
        ++Cond.p;
        return !EvalOperand(skip);
    }
    if (*Cond.p == '(') {
        ++Cond.p;
        bool r = EvalExpr(skip, false);
        if (*Cond.p == ')')
            ++Cond.p;
        return r;
    }
    return EvalTerm(skip);
}

bool EvalExpr(bool skip, bool top) {
    bool r = EvalOperand(skip);
    for (;;) {
        char c = *Cond.p;
        if (c == '&') {
            ++Cond.p;
            bool rhs = EvalOperand(skip || !r);
            r = r && rhs;
        } else if (c == '|') {
            ++Cond.p;
            bool rhs = EvalOperand(skip || r);
            r = r || rhs;
        } else if (c == ')' && top) {
            ++Cond.p;  // an unmatched closing parenthesis is ignored
        } else {
            return r;
        }
    }
}

}  // namespace

void ProcessStateFormat(TextMenu *menu, int index) {
    TextMenuItem *owner = ItemAt(menu, index);
    if (!owner || !owner->pFormat || owner->State != MENUSTATE_NORMAL)
        return;
    if (FormatDepth > ItemCount(menu))
        return;
    if (FormatDepth == 0)
        FormatRuns = 0;
    ++FormatDepth;
    const char *token = GetToken(owner->pFormat, FORMAT_DELIMS);
    while (token && *token) {
        char op = token[0];
        char values[TOKEN_BUF_SIZE];
        CopyStr(values, token + 1);
        token = GetToken(nullptr, FORMAT_DELIMS);
        bool match = TestFormatState(values, owner->Value.i) != 0;
        bool finished = false;
        while (token && *token && !finished) {
            ApplyEffect(menu, op, match, token);
            finished = chTokenDel == '}' || chTokenDel == ' ';
            token = GetToken(nullptr, FORMAT_DELIMS);
        }
    }
    --FormatDepth;
}

int TestFormatState(const char *list, int value) {
    if (!list)
        return 0;
    if (list[0] == '*')
        return 1;
    const char *p = list;
    while (*p) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) {
            ++p;
            continue;
        }
        char *end = nullptr;
        long n = std::strtol(p, &end, 10);
        if (n == value)
            return 1;
        p = end;
    }
    return 0;
}

int TestState(TextMenu *menu, const char *term, int owner) {
    if (!term)
        return 0;
    const char *p = term;
    int sign = 0;
    if (*p == '+' || *p == '-')
        sign = *p++ == '+' ? 1 : -1;
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return 0;
    char *end = nullptr;
    long number = std::strtol(p, &end, 10);
    long value = 0;
    if (*end == '.')
        value = std::strtol(end + 1, nullptr, 10);
    long count = ItemCount(menu);
    // a term outside the menu is false (a number that large is outside whatever
    // the owner, and is not added to it)
    if (number > count + std::labs(static_cast<long>(owner)))
        return 0;
    long index = sign == 0 ? number : owner + sign * number;
    if (index < 0 || index >= count)
        return 0;
    const TextMenuItem *item = &menu->pItems[index];
    if (item->Value.i != value)
        return 0;
    return item->State != MENUSTATE_NORMAL ? 2 : 1;
}

int TestStateCondition(TextMenu *menu, const char *condition, int owner) {
    if (!condition)
        return 0;
    Cond.p = condition;
    Cond.menu = menu;
    Cond.owner = owner;
    return EvalExpr(false, true) ? 1 : 0;
}
