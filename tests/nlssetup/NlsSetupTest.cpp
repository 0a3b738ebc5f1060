// Tests of the built-in message tables and of the choice of language.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "NlsSetup.h"

namespace {

struct Table {
    const char *Name;
    const char *const *Texts;
};

const Table Translations[] = {{"Spanish", NLS_SPANISH},
                              {"Italian", NLS_ITALIAN},
                              {"French", NLS_FRENCH},
                              {"German", NLS_GERMAN},
                              {"Portuguese", NLS_PORTUGUESE}};

const int ChoiceLists[] = {40, 41, 45, 46, 47, 48, 50};

// The printf conversions of a text, each reduced to what decides the argument
// type: length modifiers and conversion letter ("s", "i", "e", "li", ...).
std::vector<std::string> Conversions(const char *text) {
    std::vector<std::string> found;
    for (const char *p = text; (p = std::strchr(p, '%')); ) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        p += std::strspn(p, "-+ #0'");
        p += std::strspn(p, "0123456789*");
        if (*p == '.') {
            ++p;
            p += std::strspn(p, "0123456789*");
        }
        std::string conv;
        while (*p && std::strchr("hlLqjzt", *p))
            conv += *p++;
        if (*p)
            conv += *p++;
        found.push_back(conv);
    }
    return found;
}

// True when the text holds a byte sequence that UTF-8 would read as one
// multi-byte character (a lead byte followed by its continuation bytes).
bool HasUtf8Sequence(const char *text) {
    auto *s = reinterpret_cast<const unsigned char *>(text);
    for (; *s; ++s) {
        int follow = (*s >= 0xC2 && *s <= 0xDF) ? 1 : (*s >= 0xE0 && *s <= 0xEF) ? 2
                   : (*s >= 0xF0 && *s <= 0xF4) ? 3 : 0;
        int i = 1;
        while (follow && i <= follow && s[i] >= 0x80 && s[i] <= 0xBF)
            ++i;
        if (follow && i > follow)
            return true;
    }
    return false;
}

// Sets LANG (null: unsets it) and forgets the chosen language; undoes both.
class LangGuard {
public:
    explicit LangGuard(const char *value) {
        const char *old = std::getenv("LANG");
        hadOld = old != nullptr;
        if (old)
            oldValue = old;
        Set(value);
    }
    ~LangGuard() { Set(hadOld ? oldValue.c_str() : nullptr); }
    LangGuard(const LangGuard &) = delete;
    LangGuard &operator=(const LangGuard &) = delete;
    static void Set(const char *value) {
        if (value)
            setenv("LANG", value, 1);
        else
            unsetenv("LANG");
        NlsSetupReset();
    }

private:
    bool hadOld = false;
    std::string oldValue;
};

TEST(NlsTables, EveryEntryIsPresentInEveryTable) {
    for (int i = 0; i < NLS_SETUP_COUNT; ++i) {
        EXPECT_NE(nullptr, NLS_ENGLISH[i]) << i;
        for (const Table &t : Translations)
            EXPECT_NE(nullptr, t.Texts[i]) << t.Name << " " << i;
    }
}

TEST(NlsTables, TranslationsTakeTheEnglishConversionsInOrder) {
    for (int i = 0; i < NLS_SETUP_COUNT; ++i) {
        std::vector<std::string> english = Conversions(NLS_ENGLISH[i]);
        for (const Table &t : Translations) {
            std::vector<std::string> own = Conversions(t.Texts[i]);
            ASSERT_LE(own.size(), english.size()) << t.Name << " " << i;
            english.resize(own.size());  // a trailing conversion may be dropped
            EXPECT_EQ(english, own) << t.Name << " " << i;
            english = Conversions(NLS_ENGLISH[i]);
        }
    }
}

TEST(NlsTables, ConversionReaderSeesWhatPrintfSees) {
    EXPECT_EQ((std::vector<std::string>{"s", "e"}), Conversions("in %s, at least %e bytes"));
    EXPECT_EQ((std::vector<std::string>{"i", "li"}), Conversions("100%% %3i) %-8li"));
}

TEST(NlsTables, ChoiceListsKeepTheirItemsAndMarkers) {
    for (int i : ChoiceLists) {
        std::string english = NLS_ENGLISH[i];
        for (const Table &t : Translations) {
            std::string own = t.Texts[i];
            EXPECT_EQ(std::count(english.begin(), english.end(), ','),
                      std::count(own.begin(), own.end(), ','))
                << t.Name << " " << i;
            // Each item starts with "_" exactly where the English one does.
            size_t e = 0, o = 0;
            while (e != std::string::npos && o != std::string::npos) {
                EXPECT_EQ(english[e] == '_', own[o] == '_') << t.Name << " " << i;
                e = english.find(',', e);
                o = own.find(',', o);
                if (e != std::string::npos)
                    ++e;
                if (o != std::string::npos)
                    ++o;
            }
        }
    }
}

TEST(NlsTables, ScriptLinesAndTheEmptyEntryAreTheSameEverywhere) {
    for (int i : {15, 16, 57})
        for (const Table &t : Translations)
            EXPECT_STREQ(NLS_ENGLISH[i], t.Texts[i]) << t.Name << " " << i;
    EXPECT_STREQ("", NLS_ENGLISH[57]);
    EXPECT_STREQ("\t\t\"consult your system administrator\" \\\n", NLS_ENGLISH[16]);
}

TEST(NlsTables, TextsAreIso8859OneNotUtf8) {
    for (int i = 0; i < NLS_SETUP_COUNT; ++i) {
        EXPECT_FALSE(HasUtf8Sequence(NLS_ENGLISH[i])) << i;
        for (const Table &t : Translations)
            EXPECT_FALSE(HasUtf8Sequence(t.Texts[i])) << t.Name << " " << i;
    }
}

TEST(NlsTables, Utf8DetectorTellsTheEncodingsApart) {
    EXPECT_TRUE(HasUtf8Sequence("Atr\xc3\xa1s"));          // UTF-8 a-acute
    EXPECT_FALSE(HasUtf8Sequence("Atr\xe1s"));             // ISO-8859-1 a-acute
    EXPECT_FALSE(HasUtf8Sequence("configura\xe7\xe3o"));   // two accented letters
    EXPECT_TRUE(HasUtf8Sequence("\xe2\x80\x99"));          // UTF-8 apostrophe
}

TEST(NlsTables, TranslationsUseTheirOwnAccentedLetters) {
    EXPECT_STREQ("~b Atr\341s", NLS_SPANISH[2]);
    EXPECT_STREQ("~b Pr\351c\351dent", NLS_FRENCH[2]);
    EXPECT_STREQ("~z Zur\374ck", NLS_GERMAN[2]);
    EXPECT_STREQ("~c Conte\372do", NLS_PORTUGUESE[1]);
}

TEST(NlsTables, ShortcutLabelsUseTheLanguagesLetters) {
    const char *labels[][3] = {{"~e Salir de Ayuda", "~c Contenido", "~b Atr\341s"},
                               {"~e Guida esci", "~c Indice", "~b Indietro"},
                               {"~e Quitter l'Aide", "~c Contenu", "~b Pr\351c\351dent"},
                               {"~h Hilfe verlassen", "~I Inhalt", "~z Zur\374ck"},
                               {"~s Sair da Ajuda", "~c Conte\372do", "~v Voltar"}};
    for (int t = 0; t < 5; ++t)
        for (int i = 0; i < 3; ++i)
            EXPECT_STREQ(labels[t][i], Translations[t].Texts[i]) << Translations[t].Name;
}

TEST(NlsTables, PromptLettersAndErrorPrefixesAreTheLanguages) {
    const char *letters[] = {"[sn]", "[yn]", "[on]", "[jn]", "[sn]"};
    const char *prefixes[] = {"setup: ERROR", "installazione: ERRORE", "installation : ERREUR :",
                              "Setup: FEHLER", "configura\347\343o: ERRO"};
    for (int t = 0; t < 5; ++t) {
        EXPECT_NE(nullptr, std::strstr(Translations[t].Texts[63], letters[t]))
            << Translations[t].Name;
        EXPECT_STREQ(prefixes[t], Translations[t].Texts[58]);
    }
    EXPECT_STREQ("_No,_S\355", NLS_SPANISH[41]);
    EXPECT_STREQ("_Nein,_Ja", NLS_GERMAN[41]);
    EXPECT_STREQ("_Non,_Oui", NLS_FRENCH[41]);
    EXPECT_STREQ("_N\343o,_Sim", NLS_PORTUGUESE[41]);
}

TEST(NlsSetupStrCvt, UnsetLangGivesEnglish) {
    LangGuard lang(nullptr);
    EXPECT_STREQ("~c Contents", NlsSetupStrCvt(1));
}

TEST(NlsSetupStrCvt, ListedCodesChooseTheirLanguage) {
    const struct {
        const char *Code;
        const char *const *Texts;
    } cases[] = {{"en_US", NLS_ENGLISH}, {"es_ES", NLS_SPANISH}, {"it_IT", NLS_ITALIAN},
                 {"fr_FR", NLS_FRENCH},  {"ge_GE", NLS_GERMAN},  {"pr_BR", NLS_PORTUGUESE}};
    for (const auto &c : cases) {
        LangGuard lang(c.Code);
        EXPECT_EQ(c.Texts[0], NlsSetupStrCvt(0)) << c.Code;
    }
    LangGuard es("es_ES");
    EXPECT_STREQ("~c Contenido", NlsSetupStrCvt(1));
    LangGuard::Set("ge_GE");
    EXPECT_STREQ("~h Hilfe verlassen", NlsSetupStrCvt(0));
    LangGuard::Set("pr_BR");
    EXPECT_STREQ("~s Sair da Ajuda", NlsSetupStrCvt(0));
}

TEST(NlsSetupStrCvt, UsualLocaleNamesAndOtherValuesGiveEnglish) {
    for (const char *value : {"de_DE", "pt_BR", "fr_FR.ISO8859-1", "", "C", "es_es", "ES_ES",
                              "es_ES,fr_FR", ",es_ES", "es", "es_ES ", "en_US,"}) {
        LangGuard lang(value);
        EXPECT_EQ(NLS_ENGLISH[2], NlsSetupStrCvt(2)) << "LANG=\"" << value << "\"";
    }
}

TEST(NlsSetupStrCvt, LanguageIsKeptForTheRun) {
    LangGuard lang("fr_FR");
    EXPECT_STREQ("~c Contenu", NlsSetupStrCvt(1));
    setenv("LANG", "it_IT", 1);
    EXPECT_STREQ("~c Contenu", NlsSetupStrCvt(1));
    unsetenv("LANG");
    EXPECT_STREQ("~c Contenu", NlsSetupStrCvt(1));
}

TEST(NlsSetupStrCvt, NumbersOutsideTheTableGiveTheEmptyString) {
    LangGuard lang("ge_GE");
    EXPECT_STREQ("", NlsSetupStrCvt(71));
    EXPECT_STREQ("", NlsSetupStrCvt(1000));
    EXPECT_STREQ("", NlsSetupStrCvt(static_cast<unsigned int>(-1)));
    EXPECT_EQ(NLS_GERMAN[70], NlsSetupStrCvt(70));
}

TEST(NlsSetupStrCvt, EmptyEntryPrintsNothingInEveryLanguage) {
    for (const char *code : {"en_US", "es_ES", "it_IT", "fr_FR", "ge_GE", "pr_BR"}) {
        LangGuard lang(code);
        ::testing::internal::CaptureStdout();
        std::fputs(NlsSetupStrCvt(57), stdout);
        EXPECT_EQ("", ::testing::internal::GetCapturedStdout()) << code;
    }
}

// The tables are formats by design: callers pass the English arguments.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
TEST(NlsSetupStrCvt, DrivePathFillsTheOpenFailure) {
    for (const char *code : {"en_US", "es_ES", "it_IT", "fr_FR", "ge_GE", "pr_BR"}) {
        LangGuard lang(code);
        char out[256];
        std::snprintf(out, sizeof out, NlsSetupStrCvt(3), "/floppy/floppy0");
        EXPECT_NE(nullptr, std::strstr(out, "/floppy/floppy0")) << code;
    }
}

TEST(NlsSetupStrCvt, SpaceMessagesTakeADirectoryAndADouble) {
    for (const char *code : {"en_US", "es_ES", "it_IT", "fr_FR", "ge_GE", "pr_BR"}) {
        LangGuard lang(code);
        char out[1024];
        std::snprintf(out, sizeof out, NlsSetupStrCvt(56), "/work", "/opt", 1.5e6);
        std::string text = out;
        EXPECT_LT(text.find("/work"), text.find("/opt")) << code;
        EXPECT_NE(std::string::npos, text.find("1.500000e+06")) << code;
    }
}
#pragma GCC diagnostic pop

}  // namespace
