#include "augment_method.h"

#include "cades_signature.h"
#include "exception.h"
#include "json_binding.h"
#include "signature_levels.h"
#include "validation_data.h"
#include "verify_method.h"

#include <cstdlib>

namespace zorva::plugin::crypto {

using plugin::exception::ApplicationCode;

namespace {

struct AugmentRequest {
    std::string format, tsa;
    std::vector<FileInfo> files;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::optional("format", format) & json_dto::optional("tsa", tsa) &
            json_dto::optional("files", files);
    }
};

struct Augmented {
    std::string name, signature, level;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("name", name) & json_dto::mandatory("signature", signature) &
            json_dto::mandatory("level", level);
    }
};

[[noreturn]] void fail(ApplicationCode code, const std::string& reason) {
    PLUGIN_THROW(plugin::exception::ApplicationException(code)
                     << plugin::exception::Message_("augment: " + reason),
                 "augment");
}

Bytes fromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(
            static_cast<unsigned char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

AugmentRequest parseRequest(const std::string& data) {
    try {
        return json_dto::from_json<AugmentRequest>(data);
    } catch (const std::exception&) {
        fail(ApplicationCode::RequestFormat,
             "{\"format\",\"files\":[signature, document]} expected");
    }
}

}  // namespace

std::string augmentSignature(const std::string& data, const LongTermSettings& settings) {
    const AugmentRequest request = parseRequest(data);
    const Level target = levelOf(request.format);
    if (target == Level::Bes)
        fail(ApplicationCode::RequestFormat, "\"format\" is \"CAdES-T\" or \"CAdES-LT\"");
    if (target == Level::Lt && !settings.revocationFetch)
        fail(ApplicationCode::NotImplemented,
             "the configuration allows no OCSP or CRL fetches for CAdES-LT");

    const SignatureVerdict verdict = checkSignature(request.files, settings);
    if (verdict.valid != "true")
        fail(ApplicationCode::RequestFormat, "the signature does not verify: " + verdict.error);
    const Level current = levelOf(verdict.level);
    if (current >= target)
        fail(ApplicationCode::RequestFormat, "the signature is already at level " + verdict.level);
    if (current == Level::T && verdict.timestampValid != "true")
        fail(ApplicationCode::TimestampInvalid,
             "its timestamp does not verify: " + verdict.timestampError);

    Bytes signature = verdict.signature;
    if (current == Level::Bes)
        signature = withSignatureTimestamp(
            signature, {settings.tsaFor(request.tsa), settings.limits, settings.tsaStore()});
    if (target == Level::Lt)
        signature = withValidationData(signature,
                                       {settings.trustStore, settings.tsaStore(), settings.limits});
    // Unsigned attributes and validation data change nothing the signer
    // signed: what verified before must verify still.
    checkOwnSignature(signature, fromHex(verdict.digest));
    return json_dto::to_json(
        Augmented{request.files.front().name, base64(signature), levelName(target)});
}

}  // namespace zorva::plugin::crypto
