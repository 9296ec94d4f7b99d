#include "utc_time.h"

#include <openssl/asn1.h>

#include <ctime>

namespace zorva::plugin::crypto {

std::string utcText(const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return "";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

}  // namespace zorva::plugin::crypto
