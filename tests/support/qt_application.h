#pragma once

// Creates the application object of a test program on first use; it lives
// until the program ends, as Qt wants.
template <class Application>
void ensureApplication() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static Application application(argc, argv);
}
