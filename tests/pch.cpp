// Compiles the precompiled GoogleTest header once for every test program.
