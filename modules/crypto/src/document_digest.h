#pragma once

#include "certificate.h"
#include "file_description.h"

#include <openssl/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace zorva::plugin::crypto {

struct DocumentDigest {
    std::uint64_t size = 0;
    Bytes sha256;
    // Under the signature's hash function.
    Bytes signing;
    // The bytes themselves, only for a signature that embeds them.
    std::string content;
};

// Reads a document once, in blocks, whatever its size: inline content or a
// file the chunk store joined (any other path is ApplicationException RequestFormat).
// Keeps the bytes when keepAtMost is given; a document longer than that is
// ApplicationException FileTooLargeToSign, whose detail names the limit.
DocumentDigest digestDocument(const FileInfo& file, const EVP_MD* signing,
                              std::optional<std::uint64_t> keepAtMost);

}  // namespace zorva::plugin::crypto
