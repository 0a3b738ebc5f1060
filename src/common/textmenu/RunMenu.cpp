// RunMenu.cpp - the interaction loop: draw, read one answer, select, carry it out.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "Files.h"
#include "HelpTty.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"
#include "Tokens.h"
#include "StrUtils.h"

char *pOption = nullptr;
const char *pTtyHtmlName = nullptr;
const char *pTtyHtmlData = nullptr;
const char *pTtyHtmlTitle = "Help";

using namespace textmenu;

namespace {

constexpr const char *SETTINGS_TEMPLATE = "/A(1,255)+-+_+/";
constexpr const char *SETTINGS_EXIT_FILE = ".settings";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

void SetOption() {
    char *p = LineBuf;
    while (IsBlank(*p))
        ++p;
    while (*p && !IsBlank(*p))
        ++p;
    while (IsBlank(*p))
        ++p;
    pOption = p;
}

// The settings file opened for writing, never through a link: a new name is created
// exclusively; an existing one (replace) must be a regular file with one link, and
// is emptied only once it is open. -1 with errno set, or EPERM for another kind of
// file or a file with more names.
int OpenSettingsFile(const char *path, bool replace) {
    if (!replace)
        return CreateSharedFile(path, 0644);
    // O_NONBLOCK: a FIFO planted at the name must not hold the menu up.
    int fd = open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        close(fd);
        errno = EPERM;
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ftruncate(fd, 0) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

// Stores the menu's settings in path; false (reported) when the file could not be
// opened or written.
bool StoreTo(TextMenu *menu, const char *path, bool replace) {
    int fd = OpenSettingsFile(path, replace);
    if (fd >= 0) {
        pOut = fdopen(fd, "w");
        if (!pOut)
            close(fd);
    }
    if (!pOut) {
        PostMsg("%s: %s", path, errno == EPERM ? "not a plain file; nothing was stored" : std::strerror(errno));
        return false;
    }
    StoreMenu(menu);
    bool written = !std::ferror(pOut);
    written = std::fclose(pOut) == 0 && written;
    pOut = nullptr;  // no later OpenFile may be handed the closed stream
    if (!written)
        PostMsg("%s: %s", path, "the settings could not be written");
    return written;
}

bool NameExists(const char *path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

void StoreAsked(TextMenu *menu) {
    std::printf("Enter the settings file name: ");
    std::fflush(stdout);
    if (!ReadMenuAnswer(LineBuf, LINEBUF_SIZE) || LineBuf[0] == '\0')
        return;
    if (ValidateEntry(LineBuf, SETTINGS_TEMPLATE) != 0)
        return;
    char path[LINEBUF_SIZE];
    CopyStr(path, LineBuf);  // the question below reads into LineBuf
    bool exists = NameExists(path);
    if (exists && !PromptYN("%s exists. Replace it", path))
        return;
    StoreTo(menu, path, exists);
}

void StoreAndExit(TextMenu *menu) {
    if (StoreTo(menu, SETTINGS_EXIT_FILE, NameExists(SETTINGS_EXIT_FILE)))
        exit_app(0);
}

int FindItem(TextMenu *menu, int count, bool lettered, int key) {
    for (int i = 0; i < count && menu->pItems[i].pText; ++i) {
        const TextMenuItem *item = &menu->pItems[i];
        if (IsLettered(item) != lettered || item->State != MENUSTATE_NORMAL)
            continue;
        int itemKey = lettered ? std::tolower(item->Key) : item->Key;
        if (itemKey == key)
            return i + 1;
    }
    return 0;
}

// The entry of an item of kinds 11 to 14 in LineBuf: the option text, or a prompted
// line. False on an empty answer or at the end of input.
bool ReadEntry(const TextMenuItem *item, char *option) {
    if (option && *option) {
        std::memmove(LineBuf, option, std::strlen(option) + 1);
        return true;
    }
    std::printf("%s: ", item->pPrompt ? item->pPrompt : "");
    std::fflush(stdout);
    if (!ReadMenuAnswer(LineBuf, LINEBUF_SIZE))
        return false;
    return LineBuf[0] != '\0';
}

bool TakeText(TextMenuItem *item) {
    if (!item->Value.p)
        return false;
    if (std::strlen(LineBuf) > MENU_TEXT_SIZE - 1) {
        char msg[MSG_SIZE];
        FormatMessage(msg, sizeof msg, 30, 42, "This text length must be from %i to %i characters long.",
                      0, MENU_TEXT_SIZE - 1);
        PostMsg("%s", msg);
        return false;
    }
    if (ValidateEntry(LineBuf, item->pFormat) != 0)
        return false;
    std::memcpy(item->Value.p, LineBuf, std::strlen(LineBuf) + 1);
    return true;
}

bool TakeEntry(TextMenuItem *item, char *option) {
    if (!ReadEntry(item, option))
        return false;
    switch (item->Type) {
    case MENUITEM_NAME:
    case MENUITEM_STRING:
        return TakeText(item);
    case MENUITEM_INT:
        if (ValidateEntry(LineBuf, item->pFormat) != 0)
            return false;
        item->Value.i = ParseInt(LineBuf);
        return true;
    default:  // MENUITEM_FLOAT
        if (ValidateEntry(LineBuf, item->pFormat) != 0)
            return false;
        item->Value.f = std::strtof(LineBuf, nullptr);
        return true;
    }
}

// A pick-one item of at most two states: the state named by the option, else the
// next offered state after the current one.
bool Toggle(TextMenu *menu, int index, const char *option) {
    TextMenuItem *item = &menu->pItems[index];
    int count = item->StateCnt;
    int n = ParseInt(option);
    int chosen = -1;
    if (n >= 1 && n <= count && StateOffered(item, n)) {
        chosen = n - 1;
    } else {
        long v = item->Value.i;
        for (int k = 0; k < count; ++k) {
            v = ((v + 1) % count + count) % count;
            if (StateOffered(item, static_cast<int>(v) + 1)) {
                chosen = static_cast<int>(v);
                break;
            }
        }
    }
    if (chosen < 0)
        return false;
    item->PrevValue = item->Value.i;
    item->Value.i = chosen;
    item->pCurState = GetTokenN(item->pStates, ",", chosen + 1);
    ProcessStateFormat(menu, index);
    return true;
}

int RunAction(TextMenu *menu, TextMenuItem *item) {
    if (!item->pfnHandler)
        return 1;
    return item->pfnHandler(menu, item) == 0 ? 1 : 0;
}

int RunSubmenu(TextMenu *menu, int index) {
    TextMenu *sub = ValidateMenu(menu, index);
    if (sub)
        RunMenu(sub, nullptr, 1);
    if (menu->pfnRefresh)
        menu->pfnRefresh(menu);
    return 0;
}

int TitleLength(const TextMenu *menu) {
    if (!menu->pTitle)
        return 0;
    return static_cast<int>(std::strcspn(menu->pTitle, "\n\r"));
}

void FreeUnlessKept(TextMenu *menu) {
    if (!(menu->Flags & MENU_KEEPITEMS))
        FreeMenu(menu);
}

// Settings given to RunMenu: false when the file could not be opened (the first
// leave item's handler has then run instead of the menu).
bool LoadSettings(TextMenu *menu, const char *file) {
    if (!OpenInputFile(file, 1)) {
        TextMenuItem *leave = FindTextMenuItem(menu, MENUITEM_LEAVE);
        if (leave && leave->pfnHandler)
            leave->pfnHandler(menu, leave);
        return false;
    }
    LoadMenu(menu);
    if (FileStatus == 0)
        CloseInputFile();
    return true;
}

// The question before leaving: true when the user wants to leave.
bool AskLeave(TextMenu *menu) {
    char question[MSG_SIZE];
    if (menu->pParent)
        FormatMessage(question, sizeof question, 25, 1017, "\nDo you want to return to %s menu",
                      menu->pParent->pTitle ? menu->pParent->pTitle : "");
    else
        FormatMessage(question, sizeof question, 25, 1018, "\nDo you want to exit %s",
                      my_name ? my_name : "");
    if (!PromptYN("%s", question)) {
        if (menu->pfnRefresh)
            menu->pfnRefresh(menu);
        return false;
    }
    if (!menu->pParent) {
        std::printf("\n");
        std::fflush(stdout);
    }
    return true;
}

enum class EmptyAnswer { Stay, Leave };

EmptyAnswer OnEmptyAnswer(TextMenu *menu, bool changed) {
    if (menu->pQuestion && changed) {
        if (PromptYN("%s", menu->pQuestion)) {
            if (!TestNames(menu))
                return EmptyAnswer::Stay;
            if (menu->pfnApply)
                menu->pfnApply(menu);
            return EmptyAnswer::Leave;
        }
    } else if (!menu->pQuestion && menu->pfnApply) {
        menu->pfnApply(menu);
    }
    return AskLeave(menu) ? EmptyAnswer::Leave : EmptyAnswer::Stay;
}

}  // namespace

int FindSelection(TextMenu *menu, int, int count) {
    SetOption();
    unsigned char first = static_cast<unsigned char>(LineBuf[0]);
    if (std::isdigit(first))
        return FindItem(menu, count, false, ParseInt(LineBuf));
    int k = std::tolower(first);
    if (k == 'h' && (menu->Flags & MENU_HELP)) {
        TtyHtmlHelp(pTtyHtmlName, pTtyHtmlData, pTtyHtmlTitle);
        return 0;
    }
    if (k == 's' && (menu->Flags & MENU_STOREASK)) {
        StoreAsked(menu);
        return 0;
    }
    if (k == 's' && (menu->Flags & MENU_STOREEXIT)) {
        StoreAndExit(menu);
        return 0;
    }
    return FindItem(menu, count, true, k);
}

int ProcessSelection(TextMenu *menu, int index, char *option) {
    TextMenuItem *item = ItemAt(menu, index);
    if (!item)
        return 0;
    bool took = false;
    switch (item->Type) {
    case MENUITEM_APPLY:
        if (!TestNames(menu))
            return 0;
        return RunAction(menu, item);
    case MENUITEM_LEAVE:
    case MENUITEM_EXIT:
    case MENUITEM_ACTION:
        return RunAction(menu, item);
    case MENUITEM_SUBMENU:
        return RunSubmenu(menu, index);
    case MENUITEM_PICKONE:
        if (item->StateCnt > 2) {
            ProcessStateValue(menu, index, option);
            return 0;
        }
        took = Toggle(menu, index, option);
        break;
    case MENUITEM_PICKMANY:
        ProcessStateValue(menu, index, option);
        return 0;
    case MENUITEM_NAME:
    case MENUITEM_STRING:
    case MENUITEM_INT:
    case MENUITEM_FLOAT:
        took = TakeEntry(item, option);
        break;
    default:
        return 0;
    }
    if (took && item->pfnHandler)
        item->pfnHandler(menu, item);
    return took ? 1 : 0;
}

int RunMenu(TextMenu *menu, const char *file, int interactive) {
    if (menu->pfnRefresh)
        menu->pfnRefresh(menu);
    if (flExitTextMenu)
        return 0;
    int maxWidth = InitMenu(menu);
    if (file && !LoadSettings(menu, file))
        return 0;
    if (!interactive) {
        if (menu->pfnApply)
            menu->pfnApply(menu);
        return 0;
    }
    int titleLen = TitleLength(menu);
    bool changed = false;
    while (!flExitTextMenu) {
        int count = PrintMenu(menu, maxWidth, titleLen);
        if (!ReadMenuAnswer(LineBuf, LINEBUF_SIZE))
            continue;  // too long: reported, and the menu is drawn again
        if (LineBuf[0] == '\0') {
            if (menu->Flags & MENU_NORETURNEXIT)
                continue;
            if (OnEmptyAnswer(menu, changed) == EmptyAnswer::Leave) {
                FreeUnlessKept(menu);
                return 0;
            }
            continue;
        }
        int selection = FindSelection(menu, 0, count);
        if (selection == 0)
            continue;
        int index = selection - 1;
        int kind = menu->pItems[index].Type;
        int ok = ProcessSelection(menu, index, pOption);
        if (!(menu->Flags & MENU_KEEPTYPE))
            kind = menu->pItems[index].Type;
        if (flExitTextMenu)
            break;
        if (ok && (kind == MENUITEM_APPLY || kind == MENUITEM_LEAVE || kind == MENUITEM_EXIT))
            break;
        if (ok && kind == MENUITEM_ACTION && (menu->Flags & MENU_REINIT)) {
            maxWidth = InitMenu(menu);
            continue;
        }
        if (!changed)
            changed = ok != 0;
    }
    FreeUnlessKept(menu);
    return 0;
}
