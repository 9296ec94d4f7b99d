#pragma once

#include "file_description.h"

#include <istream>
#include <memory>

namespace zorva::plugin {

// The raw bytes of a file that a request hands over: inline content, or a
// file that the chunk store joined (links and ".." resolved, it must still be
// a regular file below the store's root). Any other path raises
// ApplicationCode::RequestFormat with the same text whether or not the file
// exists, so a page learns nothing about the workstation's files.
std::unique_ptr<std::istream> openRequestFile(const FileInfo& file, const char* operation);

}  // namespace zorva::plugin
