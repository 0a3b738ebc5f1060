// Answers.h - the options of a run that changes nothing (--dry-run) or asks nothing
// (--answers FILE), and the questions of the installer answered from that file.
// ScanRunOptions(argc, argv) runs first, before the log or anything else is
// touched: it sets flDryRun (Plan.h) for "--dry-run" and reads and checks the
// whole answer file of "--answers FILE". A file that cannot be read, a line that
// is not key=value, an unknown key, a key given twice, a value not allowed, or an
// install directory that is not a safe install root stops the program with
// "ERROR: FILE:LINE: reason" on standard error and status 2. IsRunOption(argc,
// argv, &i) is 1 when argv[i] is one of these options (i then at its last word).
// The keys and their values, each named after what it decides:
//   install_dir=DIR                       the directory typed at the directory question
//   use_earlier_dir=yes|no                use the directory of an earlier installation
//   keep_print_queues=yes|no              stay with it after the warning that another
//                                         directory invalidates the print queues
//   existing_daemon=continue|remove_start_scripts|quit
//   remove_packages=yes|no                remove the conflicting packages (upgrade)
//   running_programs=wait|quit            wait 30 s for the listed programs, or quit
//   remove_installation=yes|no            setup --remove: take the installation away
// AskYN and AskLine ask a question as PromptYN and ReadAnswer do; with an answer
// file loaded they print the question and the answer as if typed instead, and a
// question without an answer stops with "ERROR: no answer for KEY in FILE" and
// status 1.
#pragma once
#include "Attrs.h"

enum {
    ANS_INSTALL_DIR = 0,
    ANS_USE_EARLIER_DIR,
    ANS_KEEP_PRINT_QUEUES,
    ANS_EXISTING_DAEMON,
    ANS_REMOVE_PACKAGES,
    ANS_RUNNING_PROGRAMS,
    ANS_REMOVE_INSTALLATION,
    ANS_KEYS
};

void ScanRunOptions(int argc, char **argv);
int IsRunOption(int argc, char **argv, int *i);
// The value the file gives for key, or null (no file, or no such line).
const char *AnswerOf(int key);
int AskYN(int key, const char *fmt, ...) PRINTF_LIKE(2, 3);
char *AskLine(int key, char *buf, int size);
