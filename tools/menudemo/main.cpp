// menudemo - runs text menus built to try the menu engine out: a copy of the
// installer's main menu, and a printer set-up menu that has an item of every kind,
// a full-screen picker, a submenu, an apply question and settings files.
//
// Usage: menudemo main|printer|storeexit [-english] [-load FILE] [-replay FILE]
//   -english      the engine's texts in English (otherwise no message database is
//                 open, as in the installer)
//   -load FILE    printer: read FILE and apply it without showing the menu
//   -replay FILE  printer: read FILE, then show the menu
// When the menu ends, one line "FINAL ..." reports the values on standard output.
#include <cstdio>
#include <cstring>
#include <string>

#include "BuiltinTexts.h"
#include "DbmT.h"
#include "Errors.h"
#include "Log.h"
#include "NlsUtils.h"
#include "TextMenu.h"
#include "StrUtils.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // tables name only used fields

namespace {

// The engine's English texts as shipped (compiled in from the message sources),
// kept in an in-memory database for -english.
void OpenEnglishTexts() {
    pDrvCoreDB = DbTOpen("/nonexistent-menudemo/CoreString.xdb", DBT_NOCHECK | DBT_NOWRITE);
    for (int group : {20, 25, 30})
        for (int number = 0; number < 2000; ++number)
            if (const char *text = BuiltinText("en_US", group, number)) {
                std::string key = std::to_string(group) + "_" + std::to_string(number);
                DbmTPutRecord(pDrvCoreDB, key.c_str(), text, static_cast<int>(std::strlen(text)) + 1);
            }
}

// The installer's main menu.
int Install(TextMenu *, TextMenuItem *) {
    std::printf("Installing Driver and Utilities\n");
    flExitTextMenu = 1;
    return 0;
}
int GenInstallSite(TextMenu *, TextMenuItem *) {
    std::printf("Creating an installation site\n");
    return 0;
}
int GenInstallDisks(TextMenu *, TextMenuItem *) {
    return 1;  // fails: the menu stays
}

TextMenuItem MainMenuItems[] = {
    {.pText = "Install Driver and Utilities", .Type = MENUITEM_ACTION, .pfnHandler = Install},
    {.pText = "Create an installation site.", .Type = MENUITEM_ACTION, .pfnHandler = GenInstallSite},
    {.pText = "Create installation diskettes.", .Type = MENUITEM_ACTION, .pfnHandler = GenInstallDisks},
    {.pText = "~e Exit", .Type = MENUITEM_EXIT},
    {.pText = "", .Type = MENUITEM_TEXT},
    {.pText = nullptr},
};
TextMenu MainMenu = {"Install Print Driver and Utilities", 1, nullptr, nullptr, nullptr, nullptr,
                     MainMenuItems, MENU_NORETURNEXIT};

// The printer set-up menu and its network submenu.
char BannerStates[] = "_No,_Yes";
char TrayStates[400];
char OptionStates[] = "_duplex,_staple,_punch,_collate, fold";
char ProtocolStates[] = "_TCP/IP,_local device";
int BannerCalls = 0;

int BannerChanged(TextMenu *, TextMenuItem *) {
    ++BannerCalls;
    return 0;
}

extern TextMenu PrinterMenu;

TextMenuItem NetworkItems[] = {
    {.pText = "Protocol", .Type = MENUITEM_PICKONE, .pStates = ProtocolStates, .pFormat = "N1{1,2}"},
    {.pText = "Host", .Type = MENUITEM_STRING, .pPrompt = "Host name", .Default = "printhost",
     .pFormat = "A(1,64)+.+-"},
    {.pText = "Port", .Type = MENUITEM_INT, .pPrompt = "Port", .Default = 9100,
     .pFormat = "d(1,65535)"},
    {.pText = nullptr},
};
TextMenu NetworkMenu = {"Network", 0, nullptr, nullptr, &PrinterMenu, nullptr, NetworkItems,
                        MENU_KEEPITEMS};

void ApplyPrinter(TextMenu *);

TextMenuItem PrinterItems[] = {
    {.pText = "Printer queue", .Type = MENUITEM_NAME, .pPrompt = "Queue name",
     .pFormat = "A(1,16)+_+-"},
    {.pText = "Banner page", .Type = MENUITEM_PICKONE, .pStates = BannerStates,
     .pfnHandler = BannerChanged},
    {.pText = "Paper tray", .Type = MENUITEM_PICKONE, .pStates = TrayStates},
    {.pText = "Options", .Type = MENUITEM_PICKMANY, .pStates = OptionStates},
    {.pText = "Copies", .Type = MENUITEM_INT, .pPrompt = "Copies", .Default = 1, .pFormat = "d(1,99)"},
    {.pText = "Scale", .Type = MENUITEM_FLOAT, .pPrompt = "Scale", .Default = 1.0f,
     .pFormat = "f(0.1,4)"},
    {.pText = "Network", .Type = MENUITEM_SUBMENU, .Value = &NetworkMenu},
    {.pText = "~x Exit", .Type = MENUITEM_EXIT},
    {.pText = nullptr},
};
TextMenu PrinterMenu = {"Printer Set-up", 0, "Apply these settings", ApplyPrinter, nullptr, nullptr,
                        PrinterItems, MENU_STOREASK | MENU_KEEPITEMS};

const char *Text(const TextMenuItem &item) {
    return item.Value.p ? static_cast<const char *>(item.Value.p) : "";
}

void Report(const char *what) {
    std::printf("%s queue=%s banner=%d tray=%d options=%d copies=%d scale=%.3f protocol=%d host=%s "
                "port=%d handler=%d\n",
                what, Text(PrinterItems[0]), PrinterItems[1].Value.i, PrinterItems[2].Value.i,
                PrinterItems[3].Value.i, PrinterItems[4].Value.i,
                static_cast<double>(PrinterItems[5].Value.f), NetworkItems[0].Value.i,
                Text(NetworkItems[1]), NetworkItems[2].Value.i, BannerCalls);
    std::fflush(stdout);
}

void ApplyPrinter(TextMenu *) {
    Report("APPLIED");
}

void MakeTrayStates() {
    std::string states;
    for (int i = 1; i <= 25; ++i)
        states += (i > 1 ? ",_Tray " : "_Tray ") + std::to_string(i);
    CopyStr(TrayStates, states);
}

// A menu whose "s" stores ".settings" and ends the program.
TextMenuItem QuickItems[] = {
    {.pText = "Queue", .Type = MENUITEM_NAME, .pPrompt = "Queue name", .Default = "lp"},
    {.pText = "Copies", .Type = MENUITEM_INT, .pPrompt = "Copies", .Default = 2},
    {.pText = "~x Exit", .Type = MENUITEM_EXIT},
    {.pText = nullptr},
};
TextMenu QuickMenu = {"Quick Set-up", 0, nullptr, nullptr, nullptr, nullptr, QuickItems,
                      MENU_STOREEXIT | MENU_NORETURNEXIT};

int Usage() {
    std::fprintf(stderr, "usage: menudemo main|printer|storeexit [-english] [-load FILE] "
                         "[-replay FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    static char name[] = "menudemo";
    my_name = name;
    flUseLog = 0;
    if (argc < 2)
        return Usage();
    const char *load = nullptr;
    const char *replay = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "-english") == 0)
            OpenEnglishTexts();
        else if (std::strcmp(argv[i], "-load") == 0 && i + 1 < argc)
            load = argv[++i];
        else if (std::strcmp(argv[i], "-replay") == 0 && i + 1 < argc)
            replay = argv[++i];
        else
            return Usage();
    }
    std::string which = argv[1];
    if (which == "main") {
        RunMenu(&MainMenu, nullptr, 1);
        std::printf("FINAL main menu left\n");
    } else if (which == "printer") {
        MakeTrayStates();
        if (load)
            RunMenu(&PrinterMenu, load, 0);
        else
            RunMenu(&PrinterMenu, replay, 1);
        Report("FINAL");
    } else if (which == "storeexit") {
        RunMenu(&QuickMenu, nullptr, 1);
        std::printf("FINAL quick menu left\n");
    } else {
        return Usage();
    }
    std::fflush(stdout);
    return 0;
}
