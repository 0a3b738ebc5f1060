// main.cpp - the installer's entry point.
#include "Files.h"
#include "Installer.h"

int main(int argc, char **argv) {
    // Before anything opens a file: a closed standard descriptor would be taken by
    // it (the memory manager's /dev/zero as standard input, the log as output).
    OpenStandardDescriptors();
    SetupMain(argc, argv);
}
