// HelpTty.h - the help viewer's entry point.
// TtyHtmlHelp(name, data, title) shows the help page name (or the HTML text in data)
// as a menu titled title; it returns at once, showing nothing, when the name or the
// title is null (always the case in the installer).
#pragma once

void TtyHtmlHelp(const char *name, const char *data, const char *title);
