#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Cuts a reply's result into the results of its pieces. A browser takes a
// message of at most 1 MiB from a native host, counted in the bytes of the
// JSON text: characters that the text escapes count as their escapes.
namespace zorva::plugin::reply_slices {

// Consecutive slices of the text, each at most `maxBytes` bytes long and at
// most `maxEncoded` bytes long as a JSON string's content, never cut inside
// a UTF-8 sequence.
std::vector<std::string> cut(const std::string& text, std::size_t maxBytes, std::size_t maxEncoded);

// The bytes a JSON writer spends on the character: two for a short escape
// ("\n", "\""), six for "\u00XX", else one.
std::size_t encodedSize(unsigned char c);

}  // namespace zorva::plugin::reply_slices
