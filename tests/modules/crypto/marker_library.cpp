// A library that leaves a file behind when anything loads it: the tests name
// it in requests to show that the crypto module never loads a library a
// request names.
#include <cstdio>
#include <cstdlib>

__attribute__((constructor)) static void leaveMarker() {
    if (const char* path = std::getenv("ZORVA_TEST_MARKER"))
        if (std::FILE* file = std::fopen(path, "w")) std::fclose(file);
}
