// NlsSetupMessages.h - the one list of the installer's built-in messages: each
// row gives the message's name (its number is its place in the list) and its
// English text. The list makes the message names, the English table and the
// compile-time check of every printing call (Installer.h: MsgPrintf, MsgSave).
// Translations keep the order and the printf conversions of the English text.
#pragma once

// clang-format off
#define NLS_SETUP_MESSAGES(X) \
    X(MSG_EXIT_HELP, /*  0 */ "~e Exit Help") \
    X(MSG_CONTENTS, /*  1 */ "~c Contents") \
    X(MSG_BACK, /*  2 */ "~b Back") \
    X(MSG_CANT_OPEN, /*  3 */ "ERROR: couldn't open %s") \
    X(MSG_CANT_EJECT, /*  4 */ "Unable to eject diskette.\n" \
          "Please exit out of any other application (filemanager, shell) that " \
          "may be using the floppy drive. and press enter\n") \
    X(MSG_NO_DISKETTE, /*  5 */ "Unable to detect the diskette.\n") \
    X(MSG_INSERT_DISKETTE, /*  6 */ "Please insert install diskette %i and press enter") \
    X(MSG_NEW_INSTALL_DIR, /*  7 */ "\nEnter the new installation directory [%s]: ") \
    X(MSG_USE_DIR, /*  8 */ "Do you want to use %s") \
    X(MSG_RETURN_TO_MENU, /*  9 */ "Do you want to return to Setup Menu") \
    X(MSG_NEED_FULL_PATH, /* 10 */ "This entry must be a full path to the installation directory.\n") \
    X(MSG_INFO_1, /* 11 */ "You must specify an installation directory which will be used") \
    X(MSG_INFO_2, /* 12 */ "to install the Talvo directory along with its support files and") \
    X(MSG_INFO_3, /* 13 */ "directories. This utility will create the install directory") \
    X(MSG_INFO_4, /* 14 */ "if it doesn't already exist.") \
    X(MSG_IFACE_WRONG_ARGS, /* 15 */ "\t\t\"wrong number of arguments to interface program\" \\\n") \
    X(MSG_IFACE_CONSULT_ADMIN, /* 16 */ "\t\t\"consult your system administrator\" \\\n") \
    X(MSG_SITE_INFO_1, /* 17 */ "to create the installation site. This utility will create the") \
    X(MSG_SITE_INFO_2, /* 18 */ "install directory if it doesn't already exist.") \
    X(MSG_NO_DISKETTE_0, /* 19 */ "ERROR: can't locate install diskette 0\n") \
    X(MSG_NEW_DIR_WARNING, /* 20 */ "\nWarning defining another installation directory will invalidate " \
          "any defined print queues [%s]\n ") \
    X(MSG_CANT_OPEN_SITE_DISKS, /* 21 */ "can't open file, %sInstall/disks") \
    X(MSG_CREATING_DISKETTE, /* 22 */ "\nCreating diskette %i ") \
    X(MSG_INSERT_DOS_DISKETTE, /* 23 */ "\nPlease insert DOS formatted diskette (%i) and press enter") \
    X(MSG_CANT_OPEN_FLOPPY_DISKS, /* 24 */ "can't open file, /floppy/floppy0/disks\n") \
    X(MSG_INSERT_DISKETTE_NL, /* 25 */ "Please insert install diskette %i and press enter\n") \
    X(MSG_CANT_OPEN_DISKS, /* 26 */ "can't open file, %s/disks\n") \
    X(MSG_IMPLEMENTING, /* 27 */ "\nImplementing configuration\n") \
    X(MSG_STOP_ALL, /* 28 */ "stop all") \
    X(MSG_NO_DEVICE, /* 29 */ "\nUnable to locate device /dev/%s \n") \
    X(MSG_CLIENT_NAME_FIRST, /* 30 */ "Enter the client's name before registering it.\n" \
          "Press <Return> to continue") \
    X(MSG_STARTING_DAEMON, /* 31 */ "\nStarting Talvo print daemon.\n") \
    X(MSG_STOPPING_DAEMON, /* 32 */ "\nStopping Talvo print daemon.\n") \
    X(MSG_REMOVING_PRINTERS, /* 33 */ "\nRemoving Existing Printers \n") \
    X(MSG_PRINTER_TO_REMOVE, /* 34 */ "Enter the name of the printer to remove: ") \
    X(MSG_NOT_ROOT, /* 35 */ "%s is logged in\n" \
          "You must become root to run %s\n") \
    X(MSG_PRESS_RETURN, /* 36 */ "\nPress <Return> to continue. ") \
    X(MSG_PRINTER_TO_REMOVE_NL, /* 37 */ "\nEnter the name of the printer to remove: ") \
    X(MSG_SAVED_UPDATE, /* 38 */ "%s has been saved. Do want to update it") \
    X(MSG_OFFSET_FILES, /* 39 */ "                  offset_files size total will be used to reduce " \
          "disk1 file. \n") \
    X(MSG_DISABLED_ENABLED, /* 40 */ "_disabled,_enabled") \
    X(MSG_NO_YES, /* 41 */ "_No,_Yes") \
    X(MSG_EXISTING_INSTALL_DIR, /* 42 */ "\nExisting installation directory [%s]\n ") \
    X(MSG_EXISTING_PRINTERS, /* 43 */ "Existing printer list:\n ") \
    X(MSG_SAVED_PRINTERS, /* 44 */ "Saved printer list:\n") \
    X(MSG_UI_CHOICES, /* 45 */ "none,GUI,TTY") \
    X(MSG_CONNECTION_CHOICES, /* 46 */ "_workstation to printer,_workstation to print server,_print server to printer") \
    X(MSG_PORT_CHOICES, /* 47 */ "_TCP/IP,_local device") \
    X(MSG_FEATURE_CHOICES, /* 48 */ "_default features,_custom feature selection") \
    X(MSG_NO_WORK_SPACE, /* 49 */ "There isn't enough space in %s to perform the installation activities. " \
          "The temporary work area should be at least %e bytes. Restart the " \
          "installation procedure using a work area that has enough space. " \
          "\nie: 1. Use /new_work_area_path in place of /tmp\n" \
          "    2. Run `setup /new_work_area_path`\n") \
    X(MSG_UI_CHOICES_SHORT, /* 50 */ "_none,    ,_TTY") \
    X(MSG_NO_PPD_FILES, /* 51 */ "\nUnable to locate ppd files ppd/* \n") \
    X(MSG_INSERT_DISKETTE_ONLY, /* 52 */ "Please insert install diskette %i\n") \
    X(MSG_INSERT_DOS_DISKETTE_ONLY, /* 53 */ "Please insert DOS formatted diskette (%i)\n") \
    X(MSG_REMOVE_PACKAGES, /* 54 */ "The following packages must be removed to insure proper installation:\n" \
          " %s\nDo want to continue with the upgrade") \
    X(MSG_NO_INSTALL_SPACE, /* 55 */ "There isn't enough space in %s to perform the installation activities. " \
          "The install area should be at least %e bytes. Restart the installation " \
          "procedure using an install area that has enough space. \n" \
          "ie: 1. Use /new_install_path in place of the default location\n" \
          "    2. Run 'setup install /new_install_path'\n") \
    X(MSG_NO_SHARED_SPACE, /* 56 */ "There isn't enough space to perform the installation activities. " \
          "As you are using a working directory, %s on the same partition " \
          "as the install directory you have selected, %s this install requires " \
          "%e bytes free. Please re-run the install specifing a different " \
          "location for a working directory or install directory. Please see " \
          "the readme if you need help with the syntax.") \
    X(MSG_EMPTY, /* 57 */ "") \
    X(MSG_SETUP_ERROR, /* 58 */ "setup: ERROR") \
    X(MSG_KILLED_DAEMON, /* 59 */ "killed KelvraD %s\n") \
    X(MSG_NO_VERSION, /* 60 */ "failed ts get version") \
    X(MSG_WRONG_VERSION, /* 61 */ "\nERROR: You are trying to load the wrong version of the Morrowgate " \
          "Services for Unix Systems software to this machine.\n") \
    X(MSG_DELETE_QUEUES, /* 62 */ "\nIf you currently have %s printer software installed that uses " \
          "KelvraD\nprint daemon, you must delete all your %s print queues " \
          "prior to installing\n" \
          "this package.\n" \
          "\nNOTE: KelvraD is located in <install directory>/%s/%s\n") \
    X(MSG_CONTINUE_INSTALL, /* 63 */ "\nDo You want to continue with the installation? [yn] ") \
    X(MSG_READING_DISKETTE, /* 64 */ "Reading diskette %i\n") \
    X(MSG_MISSING_ISIZE, /* 65 */ "Could not determine how much space needed for install, missing isize.\n") \
    X(MSG_PROCESSES_RUNNING, /* 66 */ "\nThe following processes are running.\n" \
          "The installer can not continue until these terminate:\n") \
    X(MSG_WOULD_YOU_LIKE, /* 67 */ "Would you like to:\n") \
    X(MSG_WAIT_30_SECONDS, /* 68 */ "1.  Wait 30 seconds for these processes to terminate\n") \
    X(MSG_QUIT_INSTALL, /* 69 */ "2.  Quit the installation\n") \
    X(MSG_ENTER_SELECTION, /* 70 */ "\nEnter a selection:  ") \
// clang-format on

enum NlsSetupMsg : int {
#define NLS_SETUP_NAME(id, text) id,
    NLS_SETUP_MESSAGES(NLS_SETUP_NAME)
#undef NLS_SETUP_NAME
    NLS_SETUP_COUNT
};

// The English texts as constants, for the compile-time check of the arguments.
inline constexpr const char *NLS_ENGLISH_TEXT[NLS_SETUP_COUNT] = {
#define NLS_SETUP_TEXT(id, text) text,
    NLS_SETUP_MESSAGES(NLS_SETUP_TEXT)
#undef NLS_SETUP_TEXT
};
