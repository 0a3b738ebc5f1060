// main.cpp - the installer's entry point.
#include "Installer.h"

int main(int argc, char **argv) {
    SetupMain(argc, argv);
}
