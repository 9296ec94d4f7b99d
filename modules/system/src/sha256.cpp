#include "sha256.h"

#include <algorithm>
#include <climits>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#include <immintrin.h>
#define ZORVA_SHA_NI 1
#endif

namespace zorva::plugin::module {
namespace {

constexpr std::size_t blockSize = 64;

#ifdef ZORVA_SHA_NI

alignas(16) constexpr std::uint32_t roundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

bool processorHasShaExtensions() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_SSE4_1)) return false;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_SHA);
}

// Sixteen steps of four rounds; w keeps the last four groups of the message
// schedule, the instructions keep the state as ABEF and CDGH.
__attribute__((target("sha,sse4.1"))) void compressWithShaExtensions(std::uint32_t* state,
                                                                     const unsigned char* blocks,
                                                                     std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    const __m128i dcba =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<__m128i*>(state)), 0xB1);
    const __m128i efgh =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<__m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, dcba, 0xF0);
    for (; count > 0; --count, blocks += blockSize) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i w[4];
        for (int i = 0; i < 16; ++i) {
            if (i < 4) {
                w[i] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
            } else {
                const __m128i partial =
                    _mm_add_epi32(_mm_sha256msg1_epu32(w[i % 4], w[(i + 1) % 4]),
                                  _mm_alignr_epi8(w[(i + 3) % 4], w[(i + 2) % 4], 4));
                w[i % 4] = _mm_sha256msg2_epu32(partial, w[(i + 3) % 4]);
            }
            const __m128i scheduled = _mm_add_epi32(
                w[i % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(roundConstants + 4 * i)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, scheduled);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(scheduled, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

#else

bool processorHasShaExtensions() { return false; }

#endif

}  // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {
    if (!accelerated())
        fallback_ = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
}

bool Sha256::accelerated() {
    static const bool value = processorHasShaExtensions();
    return value;
}

void Sha256::addData(const char* data, std::size_t length) {
    if (fallback_) {
        for (std::size_t piece; length > 0; data += piece, length -= piece) {
            piece = std::min<std::size_t>(length, INT_MAX);
            fallback_->addData(data, static_cast<int>(piece));
        }
        return;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    length_ += length;
    if (buffered_ > 0) {
        const std::size_t taken = std::min(length, blockSize - buffered_);
        std::memcpy(buffer_.data() + buffered_, bytes, taken);
        buffered_ += taken;
        bytes += taken;
        length -= taken;
        if (buffered_ < blockSize) return;
        compress(buffer_.data(), 1);
        buffered_ = 0;
    }
    compress(bytes, length / blockSize);
    buffered_ = length % blockSize;
    std::memcpy(buffer_.data(), bytes + length - buffered_, buffered_);
}

std::string Sha256::hexResult() {
    if (fallback_) return fallback_->result().toHex().toStdString();
    const std::uint64_t bits = length_ * 8;
    // A one bit, zeros up to 8 bytes before a block's end, the length in bits.
    unsigned char padding[blockSize + 8] = {0x80};
    const std::size_t zeros = (buffered_ < 56 ? 56 : 120) - buffered_;
    for (int i = 0; i < 8; ++i)
        padding[zeros + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    addData(reinterpret_cast<const char*>(padding), zeros + 8);

    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint32_t word : state_)
        for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(word >> shift) & 0xf];
    return hex;
}

void Sha256::compress(const unsigned char* blocks, std::size_t count) {
#ifdef ZORVA_SHA_NI
    if (count > 0) compressWithShaExtensions(state_.data(), blocks, count);
#endif
}

}  // namespace zorva::plugin::module
