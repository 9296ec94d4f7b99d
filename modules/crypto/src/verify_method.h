#pragma once

#include <string>

namespace zorva::plugin::crypto {

// data: {"files":[signature, document]}: a CMS signature (DER) and, for a
// detached one, its document, as file descriptions (inline or joined from
// chunks). The document is streamed. Result {"valid","signer","signingTime",
// "digestAlgorithm","digest","chain","error"}: "valid" says whether the
// signature holds for the document; "chain" is "valid" when the signer's
// certificate leads to the trust store, else why not.
// trustStore: a PEM file or a directory of hashed certificates from the
// host configuration; empty for the system's store.
std::string verifySignature(const std::string& data, const std::string& trustStore);

}  // namespace zorva::plugin::crypto
