#pragma once

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/ocsp.h>
#include <openssl/pkcs7.h>
#include <openssl/rsa.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace zorva::plugin {

// Ownership of an OpenSSL object: it goes with the library's own function
// for its type. A stateless deleter keeps the pointer one word wide.
template <class T, void (*Free)(T*)>
struct OpenSslFree {
    void operator()(T* object) const { Free(object); }
};
template <class T, void (*Free)(T*)>
using OpenSslPtr = std::unique_ptr<T, OpenSslFree<T, Free>>;

// The stacks' own free functions are macros over a generic one, and a
// stack that owns its elements frees them too.
inline void freeCertificates(STACK_OF(X509) * certificates) {
    sk_X509_pop_free(certificates, X509_free);
}
inline void freeCrls(STACK_OF(X509_CRL) * crls) { sk_X509_CRL_pop_free(crls, X509_CRL_free); }
// A stack whose certificates belong to another object.
inline void freeCertificateView(STACK_OF(X509) * certificates) { sk_X509_free(certificates); }

using AlgorithmPtr = OpenSslPtr<X509_ALGOR, X509_ALGOR_free>;
using Asn1IntegerPtr = OpenSslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
using Asn1TimePtr = OpenSslPtr<ASN1_TIME, ASN1_TIME_free>;
using BignumPtr = OpenSslPtr<BIGNUM, BN_free>;
using BioPtr = OpenSslPtr<BIO, BIO_free_all>;
using CmsPtr = OpenSslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using CertificatesPtr = OpenSslPtr<STACK_OF(X509), freeCertificates>;
using CertificateViewPtr = OpenSslPtr<STACK_OF(X509), freeCertificateView>;
using CrlPtr = OpenSslPtr<X509_CRL, X509_CRL_free>;
using CrlsPtr = OpenSslPtr<STACK_OF(X509_CRL), freeCrls>;
using EcdsaSignaturePtr = OpenSslPtr<ECDSA_SIG, ECDSA_SIG_free>;
using DigestContextPtr = OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using KeyContextPtr = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using OcspBasicPtr = OpenSslPtr<OCSP_BASICRESP, OCSP_BASICRESP_free>;
using OcspIdPtr = OpenSslPtr<OCSP_CERTID, OCSP_CERTID_free>;
using OcspRequestPtr = OpenSslPtr<OCSP_REQUEST, OCSP_REQUEST_free>;
using OcspResponsePtr = OpenSslPtr<OCSP_RESPONSE, OCSP_RESPONSE_free>;
using Pkcs7Ptr = OpenSslPtr<PKCS7, PKCS7_free>;
using PssParametersPtr = OpenSslPtr<RSA_PSS_PARAMS, RSA_PSS_PARAMS_free>;
using StoreContextPtr = OpenSslPtr<X509_STORE_CTX, X509_STORE_CTX_free>;
using TsImprintPtr = OpenSslPtr<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>;
using TsRequestPtr = OpenSslPtr<TS_REQ, TS_REQ_free>;
using TsResponsePtr = OpenSslPtr<TS_RESP, TS_RESP_free>;
using TsTokenInfoPtr = OpenSslPtr<TS_TST_INFO, TS_TST_INFO_free>;
using TsVerifyPtr = OpenSslPtr<TS_VERIFY_CTX, TS_VERIFY_CTX_free>;
using X509NamePtr = OpenSslPtr<X509_NAME, X509_NAME_free>;
using X509Ptr = OpenSslPtr<X509, X509_free>;
using X509SigPtr = OpenSslPtr<X509_SIG, X509_SIG_free>;
using X509StorePtr = OpenSslPtr<X509_STORE, X509_STORE_free>;

}  // namespace zorva::plugin
