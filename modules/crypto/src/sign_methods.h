#pragma once

#include "consent.h"
#include "long_term_settings.h"
#include "message.h"
#include "provider_registry.h"

#include <cstdint>
#include <string>

namespace zorva::plugin::crypto {

// The largest sum of document sizes that an attached signature carries: the
// base64 of the signatures, the certificates and the record must stay under
// the host's 10 MiB reply limit.
constexpr std::uint64_t attachedLimit = 7 * 1024 * 1024;

// data: {"certificate":"<id>","hash":"<base64>","hashFunction":"SHA-256",
// "padding":"PKCS1.5"|"PSS"|"NONE"|""}; result {"signature","algorithm"}.
std::string signHash(cryptoki::ProviderRegistry& registry, IConsent& consent,
                     const format::Message& request);

// data: {"certificate":"<id>" (optional: then the user picks),
// "format":"CAdES-BES"|"CAdES-T"|"CAdES-LT","tsa":"<one of the configured
// TSA URLs>" (optional),"detached":"true"|"false","hashFunction","padding",
// "sha256":["<hex>", ...],"files":[file description, ...]}, one SHA-256 (of
// the raw bytes, as the page computed it) per file.
// Result [{"name","signature"}], one base64 CMS per file, all at the level
// asked or none: the TSA and the revocation sources are asked after the
// consent window closed and the token logged out.
std::string signDocuments(cryptoki::ProviderRegistry& registry, IConsent& consent,
                          const format::Message& request, const LongTermSettings& settings);

}  // namespace zorva::plugin::crypto
