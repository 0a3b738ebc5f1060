// MenuTexts.cpp - the engine's texts from the core message database, the picker
// labels, and the end of input.
#include <cerrno>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "BuiltinTexts.h"
#include "Errors.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "StrUtils.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"

char *KVATTYMENU_SAVE = nullptr;
char *KVATTYMENU_CANCEL = nullptr;
char *KVATTYMENU_CURSEL = nullptr;
char *KVATTYMENU_CURSELTRUNC = nullptr;
char *KVATTYMENU_OPTION = nullptr;

namespace textmenu {

namespace {

constexpr int GROUP_MENU = 25;

// Built-in English for a database without the picker texts.
constexpr const char *BUILTIN_SAVE = "Save";
constexpr const char *BUILTIN_CANCEL = "Cancel";
constexpr const char *BUILTIN_CURSEL = "Current selection: %s";
constexpr const char *BUILTIN_CURSELTRUNC = "Current selection: %s...";
constexpr const char *BUILTIN_OPTION = "Enter numbers, s or c: ";

// The label text of group 25, or the built-in one when the database lacks it or its
// conversions do not fit (expected: null for a plain label).
char *LabelText(int number, const char *builtin, const char *expected) {
    char buf[MSG_SIZE];
    FetchText(GROUP_MENU, number, buf, sizeof buf);
    bool usable = !IsKeyText(buf, GROUP_MENU, number) && buf[0] != '\0';
    if (usable && expected)
        usable = NlsFormatMatches(buf, expected) != 0;
    return SaveStr_(usable ? buf : builtin);
}

int KeyOf(const char *label) {
    return std::tolower(static_cast<unsigned char>(label[0]));
}

}  // namespace

const char *FetchText(int group, int number, char *buf, size_t size) {
    return FetchMenuMessage(group, number, buf, size);
}

void PrintMessage(int group, int number, const char *english, ...) {
    char text[MSG_SIZE], out[MSG_SIZE];
    char key[32];
    FetchText(group, number, text, sizeof text);
    std::snprintf(key, sizeof key, "%d_%d", group, number);
    va_list ap;
    va_start(ap, english);
    NlsVFormatChecked(out, sizeof out, text, key, english, ap);
    va_end(ap);
    std::fputs(out, stdout);
}

bool IsKeyText(const char *text, int group, int number) {
    char key[32];
    std::snprintf(key, sizeof key, "%d_%d", group, number);
    return text && std::strcmp(text, key) == 0;
}

void FormatMessage(char *buf, size_t size, int group, int number, const char *english, ...) {
    char text[MSG_SIZE];
    char key[32];
    FetchText(group, number, text, sizeof text);
    std::snprintf(key, sizeof key, "%d_%d", group, number);
    va_list ap;
    va_start(ap, english);
    NlsVFormatChecked(buf, size, text, key, english, ap);
    va_end(ap);
}

ShownByte Show(char c) {
    ShownByte b;
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f)
        std::snprintf(b.Text, sizeof b.Text, "%c", c);
    else
        std::snprintf(b.Text, sizeof b.Text, "\\x%02x", u);
    return b;
}

const char *ByteMessageText(int group, int number, char *text, size_t size) {
    FetchText(group, number, text, size);
    char *conversion = std::strstr(text, "%c");
    if (conversion)
        conversion[1] = 's';
    return text;
}

void EndOfInput() {
    ErrorMsg(2, 1, "%s", "unexpected end of input");
    exit_app(1);  // only reached when a test hook returns
}

void LoadPickerLabels() {
    if (KVATTYMENU_SAVE)
        return;
    KVATTYMENU_SAVE = LabelText(201, BUILTIN_SAVE, nullptr);
    KVATTYMENU_CANCEL = LabelText(202, BUILTIN_CANCEL, nullptr);
    KVATTYMENU_CURSEL = LabelText(203, BUILTIN_CURSEL, "%s");
    KVATTYMENU_CURSELTRUNC = LabelText(204, BUILTIN_CURSELTRUNC, "%s");
    KVATTYMENU_OPTION = LabelText(205, BUILTIN_OPTION, nullptr);
    // Save and cancel must answer to different keys.
    if (KeyOf(KVATTYMENU_SAVE) == KeyOf(KVATTYMENU_CANCEL)) {
        PutMem(KVATTYMENU_SAVE);
        PutMem(KVATTYMENU_CANCEL);
        KVATTYMENU_SAVE = SaveStr_(BUILTIN_SAVE);
        KVATTYMENU_CANCEL = SaveStr_(BUILTIN_CANCEL);
    }
}

}  // namespace textmenu

namespace {

struct MenuLanguageState {
    char *pLang;      // chosen language, saved string
    char *pFromLang;  // the LANG it was chosen for
};
MenuLanguageState L;

}  // namespace

const char *MenuLanguage() {
    if (pNLSLang)
        return pNLSLang;
    const char *lang = std::getenv("LANG");
    if (!lang)
        lang = "___LANG_NOT_SET___";
    if (L.pLang && L.pFromLang && std::strcmp(L.pFromLang, lang) == 0)
        return L.pLang;
    PutMem(L.pLang);
    PutMem(L.pFromLang);
    char *table = ParseTransFile("trans.conf");
    L.pLang = NlsChooseLanguage(table ? table : BuiltinTransTable, lang);
    L.pFromLang = SaveStr_(lang);
    PutMem(table);
    return L.pLang;
}

const char *FetchMenuMessage(int group, int number, char *buf, size_t size) {
    if (!buf || size == 0)
        return "";
    size_t full = 0;
    NlsFetchStringN(pDrvCoreDB, buf, size, &full, NLS_BY_NUMBER, group, number);
    buf[size - 1] = '\0';
    if (textmenu::IsKeyText(buf, group, number)) {
        const char *builtin = BuiltinText(MenuLanguage(), group, number);
        if (builtin)
            std::snprintf(buf, size, "%s", builtin);
    }
    return buf;
}
