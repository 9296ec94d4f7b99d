#pragma once

#include "platform_crash.h"
#include "platform_memory_map.h"

#include <cstddef>
#include <cstdint>

// The plain-text error report of a crash: the fault, its exception code and
// name, the thread and the registers. Formatting allocates nothing, so it
// runs inside the crash handler.
namespace zorva::plugin::crash_report {

// The name of an exception code; empty text for codes outside the table.
const char* exceptionName(std::uint32_t code);

// Writes the report into the buffer, as much as fits, and returns its length.
// Without a location the fault address stands alone.
std::size_t format(const platform::crash::Fault& fault,
                   const platform::crash::CodeLocation* location, char* buffer,
                   std::size_t capacity);

}  // namespace zorva::plugin::crash_report
