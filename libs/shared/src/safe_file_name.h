#pragma once

#include <cstddef>
#include <string>

namespace zorva::plugin {

// The longest identifier a request may use as a file name.
constexpr std::size_t maxIdentifierSize = 200;

// Texts of a request become names of files and directories in the chunk
// store. Only a plain single name stays where it is put: not empty, not "."
// or "..", no "/" or "\", no NUL or other control characters, at most
// `maxSize` bytes.
bool isSafeFileName(const std::string& name, std::size_t maxSize = maxIdentifierSize);

// The name itself when it is safe; otherwise raises
// ApplicationCode::RequestFormat with the given operation name.
const std::string& checkedFileName(const std::string& name, const char* operation,
                                   std::size_t maxSize = maxIdentifierSize);

}  // namespace zorva::plugin
