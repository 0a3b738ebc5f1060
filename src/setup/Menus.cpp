// Menus.cpp - the installer's two menus and their handlers.
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "MemMgr.h"
#include "StrUtils.h"
#include "TextMenu.h"

// The static tables name only the fields they set; the rest start at zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

int InstallHandler(TextMenu *, TextMenuItem *) { return Install(); }
int SiteHandler(TextMenu *, TextMenuItem *) { return GenInstallSite(); }
int DisksHandler(TextMenu *, TextMenuItem *) { return GenInstallDisks(); }
int FromDisketteHandler(TextMenu *, TextMenuItem *) { return InstallFromDiskette(); }
int FromSiteHandler(TextMenu *, TextMenuItem *) { return InstallFromSite(); }

}  // namespace

TextMenuItem MainMenuItems[] = {
    {.pText = "Install Driver and Utilities", .Type = MENUITEM_ACTION, .pfnHandler = InstallHandler},
    {.pText = "Create an installation site.", .Type = MENUITEM_ACTION, .pfnHandler = SiteHandler},
    {.pText = "Create installation diskettes.", .Type = MENUITEM_ACTION, .pfnHandler = DisksHandler},
    {.pText = "~e Exit", .Type = MENUITEM_EXIT},
    {.pText = "", .Type = MENUITEM_TEXT},
    {.pText = nullptr},
};

TextMenu MainMenu = {
    .pTitle = "Install Print Driver and Utilities",
    .TitleStyle = 1,
    .pItems = MainMenuItems,
    .Flags = MENU_NORETURNEXIT,
};

TextMenuItem InstallMenuItems[] = {
    {.pText = "Install from diskette.", .Type = MENUITEM_EXIT, .pfnHandler = FromDisketteHandler},
    {.pText = "Install from installation site.", .Type = MENUITEM_EXIT, .pfnHandler = FromSiteHandler},
    {.pText = "~e Exit", .Type = MENUITEM_EXIT},
    {.pText = "", .Type = MENUITEM_TEXT},
    {.pText = nullptr},
};

TextMenu InstallMenu = {
    .pTitle = "Install From Menu",
    .TitleStyle = 1,
    .pItems = InstallMenuItems,
    .Flags = MENU_NORETURNEXIT,
};

namespace {

// The media carry the administrator's help beside the installer: when it is there, "h"
// in the main menu shows it; without it the menu offers no help.
void OfferHelp() {
    static char *helpFile = nullptr;
    PutMem(helpFile);
    helpFile = SaveStr("%s/setup.hlp", pToolPath ? pToolPath : ".");
    int type = GetFileType(helpFile);
    if (type == FILETYPE_OTHER || type == FILETYPE_LINK) {
        MainMenu.Flags |= MENU_HELP;
        pTtyHtmlName = helpFile;
        pTtyHtmlTitle = "Help";
    } else {
        MainMenu.Flags &= static_cast<uint16_t>(~MENU_HELP);
        pTtyHtmlName = nullptr;
    }
}

}  // namespace

int RunMainMenu() {
    OfferHelp();
    return RunMenu(&MainMenu, nullptr, 1);
}
