#include "document_digest.h"

#include "evp_digest.h"
#include "exception.h"
#include "request_file.h"

#include <openssl/evp.h>

#include <vector>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

DocumentDigest digestDocument(const FileInfo& file, const EVP_MD* signing,
                              std::optional<std::uint64_t> keepAtMost) {
    // Large enough that the hash, not the read, sets the pace.
    constexpr std::size_t blockSize = 1 << 20;
    const auto stream = openRequestFile(file, "sign");
    EvpDigest sha256(EVP_sha256());
    EvpDigest other(signing);
    const bool separate = EVP_MD_get_type(signing) != NID_sha256;
    DocumentDigest digest;
    std::vector<char> block(blockSize);
    do {
        stream->read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto count = static_cast<std::size_t>(stream->gcount());
        sha256.addData(block.data(), count);
        if (separate) other.addData(block.data(), count);
        digest.size += count;
        if (keepAtMost && digest.size > *keepAtMost)
            PLUGIN_THROW(
                plugin::exception::ApplicationException(ApplicationCode::FileTooLargeToSign)
                    << plugin::exception::Message_("an attached signature carries at most " +
                                                   std::to_string(*keepAtMost) +
                                                   " more bytes of documents; sign detached"),
                "sign");
        if (keepAtMost) digest.content.append(block.data(), count);
    } while (*stream);
    digest.sha256 = sha256.result();
    digest.signing = separate ? other.result() : digest.sha256;
    return digest;
}

}  // namespace zorva::plugin::crypto
