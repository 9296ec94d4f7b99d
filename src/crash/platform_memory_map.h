#pragma once

#include <cstdint>

// The crash section of the platform layer, continued: what the process has
// mapped, read on the crash path without allocating.
namespace zorva::plugin::platform::crash {

// Where an instruction lies in a loaded program file: the 1-based number of
// the program header whose segment holds it, and the offset in that segment.
struct CodeLocation {
    std::uint32_t segment;
    std::uint64_t offset;
    char file[512];
};

// Finds the program file and segment that hold the address; false for an
// address outside every mapped file.
bool locateCode(std::uint64_t address, CodeLocation& location);

// Copies the memory map of this process to the file.
void writeMemoryMap(int descriptor);

}  // namespace zorva::plugin::platform::crash
