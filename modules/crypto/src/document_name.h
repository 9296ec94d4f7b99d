#pragma once

#include <cstddef>
#include <string>

namespace zorva::plugin::crypto {

// The longest document name the consent window takes, in characters.
constexpr std::size_t maxDocumentNameLength = 1024;

// A document's name is what the user is shown, not a file name: any text up
// to maxDocumentNameLength characters (the request's JSON reader already
// refuses a text that is not UTF-8, saying so). Raises ApplicationException
// RequestFormat saying why for an empty or a longer one; `number` counts the
// request's files from 1.
void checkDocumentName(const std::string& name, std::size_t number, const char* operation);

}  // namespace zorva::plugin::crypto
