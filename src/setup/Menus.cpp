// Menus.cpp - the installer's two menus and their handlers.
#include "Installer.h"
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

int RunMainMenu() {
    return RunMenu(&MainMenu, nullptr, 1);
}
