#pragma once

#include <QCryptographicHash>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zorva::plugin::module {

// SHA-256 of a stream of bytes. Qt's implementation digests about 230 MB/s,
// slower than the rest of a large document's way through the host together;
// where the processor has the SHA extensions (x86 SHA-NI) the compression
// runs on them, elsewhere Qt computes the hash.
class Sha256 {
public:
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // True when this processor computes the hash with its SHA extensions.
    static bool accelerated();

    void addData(const char* data, std::size_t length);
    // Lowercase hexadecimal; ends the computation.
    std::string hexResult();

private:
    void compress(const unsigned char* blocks, std::size_t count);

    std::unique_ptr<QCryptographicHash> fallback_;
    std::array<std::uint32_t, 8> state_;
    std::array<unsigned char, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace zorva::plugin::module
