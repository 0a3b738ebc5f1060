// HelpTty.cpp - the help viewer's entry point.
#include "HelpTty.h"

void TtyHtmlHelp(const char *name, const char *data, const char *title) {
    (void)data;
    if (!name || !title)
        return;
    // Reading and browsing help files is not part of the program yet: a named page
    // shows nothing either.
}
