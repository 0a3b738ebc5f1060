// MsgFormat.h - printing the built-in messages with arguments checked at compile
// time. MsgPrintf<MSG_X>(out, args...) prints message MSG_X of the chosen language;
// MsgSave<MSG_X>(args...) returns it as a GetMem string the caller frees (null
// when memory runs out is never returned: SaveStr stops the program). The argument
// types must match the conversions of the English text in order (%s a string, %i,
// %d, %c an int or smaller integer, %e, %f, %g a floating value); anything else does
// not compile. The translated texts take the same conversions (a test walks every
// table).
#pragma once
#include <cstddef>
#include <cstdio>
#include <type_traits>

#include "NlsSetupMessages.h"

namespace msgformat {

enum class Arg { Int, Long, Double, Str, Other };

template <typename T>
consteval Arg KindOf() {
    using U = std::remove_cv_t<std::decay_t<T>>;
    if constexpr (std::is_same_v<U, char *> || std::is_same_v<U, const char *>)
        return Arg::Str;
    else if constexpr (std::is_floating_point_v<U>)
        return Arg::Double;
    else if constexpr (std::is_integral_v<U> && sizeof(U) <= sizeof(int))
        return Arg::Int;
    else if constexpr (std::is_integral_v<U>)
        return Arg::Long;
    else
        return Arg::Other;
}

consteval bool OneOf(char c, const char *set) {
    for (; *set; ++set)
        if (*set == c)
            return true;
    return false;
}

// True when the conversions of fmt take exactly the argument kinds given.
consteval bool Matches(const char *fmt, const Arg *args, std::size_t count) {
    std::size_t used = 0;
    for (const char *f = fmt; *f; ++f) {
        if (*f != '%')
            continue;
        if (*++f == '%')
            continue;
        while (OneOf(*f, "-+ #0123456789."))
            ++f;
        bool isLong = false;
        while (OneOf(*f, "hlLzjt"))
            isLong = isLong || *f++ == 'l';
        Arg want = Arg::Other;
        if (OneOf(*f, "diouxXc"))
            want = isLong ? Arg::Long : Arg::Int;
        else if (OneOf(*f, "eEfFgGaA"))
            want = Arg::Double;
        else if (*f == 's')
            want = Arg::Str;
        if (want == Arg::Other || used >= count || args[used] != want)
            return false;
        ++used;
        if (!*f)
            break;
    }
    return used == count;
}

template <typename... Args>
consteval bool MatchesArgs(const char *fmt) {
    constexpr Arg kinds[sizeof...(Args) + 1] = {KindOf<Args>()..., Arg::Other};
    return Matches(fmt, kinds, sizeof...(Args));
}

}  // namespace msgformat

// The unchecked printers behind the checked ones (Messages.cpp).
void MsgPrintfN(FILE *out, unsigned n, ...);
char *MsgSaveN(unsigned n, ...);

template <NlsSetupMsg Id, typename... Args>
void MsgPrintf(FILE *out, Args... args) {
    static_assert(msgformat::MatchesArgs<Args...>(NLS_ENGLISH_TEXT[Id]),
                  "the arguments do not match the conversions of the message");
    MsgPrintfN(out, Id, args...);
}

template <NlsSetupMsg Id, typename... Args>
char *MsgSave(Args... args) {
    static_assert(msgformat::MatchesArgs<Args...>(NLS_ENGLISH_TEXT[Id]),
                  "the arguments do not match the conversions of the message");
    return MsgSaveN(Id, args...);
}
