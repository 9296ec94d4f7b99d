// Two places where the crypto module could do by hand what OpenSSL does, each
// next to the library's way. Run through bench/run_crypto_der.sh.
//
// BM_SignedAttributes/*: the DER of a CAdES signer's signed attributes
// (content type, signing time, message digest, signing certificate v2), the
// bytes a token signs: the module's signedAttributes (OpenSSL's
// PKCS7_ATTR_SIGN template, which sorts the SET OF) against each attribute
// encoded alone, the encodings sorted and wrapped in a SET by hand.
//
// BM_VerifyDetached/*: CMS_verify of a detached signature over a 64 MiB
// document, the document read through the module's BIO over the stream the
// request's file opens as (the one verify uses), against a file BIO.
#include "cades_signature.h"
#include "der.h"
#include "file_description.h"
#include "file_info.h"
#include "istream_bio.h"
#include "openssl_ptr.h"
#include "software_signer.h"
#include "temp_dir.h"

#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using zorva::plugin::BioPtr;
using zorva::plugin::CmsPtr;
using zorva::plugin::crypto::Bytes;

constexpr std::size_t documentSize = std::size_t(64) << 20;

[[noreturn]] void stop(const char* what) {
    std::fprintf(stderr, "crypto_der_bench: %s\n", what);
    std::exit(1);
}

// RSA, as most signing cards hold.
const SoftwareSigner& signer() {
    static const SoftwareSigner instance(EVP_RSA_gen(2048));
    return instance;
}

// The attributes one by one, their encodings sorted, in a SET.
Bytes signedAttributesByHand(CMS_SignerInfo& info) {
    std::vector<Bytes> attributes;
    for (int i = 0; i < CMS_signed_get_attr_count(&info); ++i)
        attributes.push_back(
            zorva::plugin::crypto::der(i2d_X509_ATTRIBUTE, CMS_signed_get_attr(&info, i), "bench"));
    std::sort(attributes.begin(), attributes.end());
    Bytes content;
    for (const auto& attribute : attributes)
        content.insert(content.end(), attribute.begin(), attribute.end());
    Bytes set{0x31};
    zorva::plugin::crypto::appendLength(set, content.size());
    set.insert(set.end(), content.begin(), content.end());
    return set;
}

void BM_SignedAttributes_Library(benchmark::State& state) {
    CadesSignerInfo signerInfo(signer());
    for (auto _ : state)
        benchmark::DoNotOptimize(zorva::plugin::crypto::signedAttributes(*signerInfo.info));
}
BENCHMARK(BM_SignedAttributes_Library);

void BM_SignedAttributes_ByHand(benchmark::State& state) {
    CadesSignerInfo signerInfo(signer());
    for (auto _ : state) benchmark::DoNotOptimize(signedAttributesByHand(*signerInfo.info));
}
BENCHMARK(BM_SignedAttributes_ByHand);

// A document of random bytes and the detached signature over it, made once.
struct SignedDocument {
    TempDir directory;
    std::string path = (directory / "document.bin").string();
    Bytes signature;

    SignedDocument() {
        std::string block(1 << 20, '\0');
        std::mt19937_64 random(11);
        for (char& byte : block) byte = static_cast<char>(random());
        std::ofstream out(path, std::ios::binary);
        for (std::size_t written = 0; written < documentSize; written += block.size())
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        out.close();
        const BioPtr content(BIO_new_file(path.c_str(), "rb"));
        const CmsPtr cms(CMS_sign(signer().certificate.get(), signer().key.get(), nullptr,
                                  content.get(), CMS_BINARY | CMS_DETACHED));
        if (!cms) stop("no signature");
        signature = zorva::plugin::crypto::der(i2d_CMS_ContentInfo, cms.get(), "bench");
    }
};

const SignedDocument& document() {
    static const SignedDocument instance;
    return instance;
}

void verify(BIO* content) {
    const unsigned char* cursor = document().signature.data();
    const CmsPtr cms(
        d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(document().signature.size())));
    if (CMS_verify(cms.get(), nullptr, nullptr, content, nullptr,
                   CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1)
        stop("the signature does not verify");
}

void BM_VerifyDetached_StreamBio(benchmark::State& state) {
    zorva::plugin::FileInfo file;
    file.path = document().path;
    for (auto _ : state) {
        const auto stream = zorva::plugin::toRaw(file);
        const BioPtr content(zorva::plugin::crypto::istreamBio(*stream));
        verify(content.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * documentSize));
}
BENCHMARK(BM_VerifyDetached_StreamBio)->Unit(benchmark::kMillisecond);

void BM_VerifyDetached_FileBio(benchmark::State& state) {
    for (auto _ : state) {
        const BioPtr content(BIO_new_file(document().path.c_str(), "rb"));
        verify(content.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * documentSize));
}
BENCHMARK(BM_VerifyDetached_FileBio)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Both ways must give the bytes a verifier re-encodes, or the race says nothing.
    CadesSignerInfo signerInfo(signer());
    if (zorva::plugin::crypto::signedAttributes(*signerInfo.info) !=
        signedAttributesByHand(*signerInfo.info))
        stop("the two encodings of the signed attributes differ");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
