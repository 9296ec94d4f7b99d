#pragma once

#include "file_description.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <string>

// The raw bytes of a file description: the inline content or the file at its
// path, decoded from base64 and re-encoded as UCS-2LE as the description
// says. All operations raise ApplicationException: Cancelled for a file that
// cannot be opened, DataNotFound for no data, MalformedData for malformed
// base64.
namespace zorva::plugin {

// The length of the content when there is one; else the size of the file at
// the path (UTF-8 text), 0 when there is no file.
std::uint64_t fileSize(const std::string& path, const std::string& content);

// A stream of the raw bytes. Plain content of a file is read as the caller
// reads; decoding and re-encoding hold the content in memory. A decoding
// failure that shows only while the caller reads reaches it as
// base64::DecodeError.
std::unique_ptr<std::istream> toRaw(const FileInfo& info);

// Everything toRaw delivers.
std::string rawBytes(const FileInfo& info);

}  // namespace zorva::plugin
