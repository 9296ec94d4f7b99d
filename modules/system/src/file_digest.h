#pragma once

#include <string>

namespace zorva::plugin::module {

// Size, MD5 and SHA-256 of the raw bytes of each file that a request
// describes: {"files":[file description, ...]} gives
// [{"name","size","md5","sha256"}, ...] in the same order. Reads inline
// content and files joined from chunks inside the chunk store; any other path
// raises ApplicationCode::RequestFormat, so a page learns nothing about the
// workstation's files. Files are streamed, never read whole.
std::string digestFiles(const std::string& request);

}  // namespace zorva::plugin::module
