#include "request_origin.h"

namespace zorva::plugin::crypto {

std::string requestOrigin(const format::Message& request) {
    const auto origin = request.meta.data.find("origin");
    return origin == request.meta.data.end() ? std::string() : origin->second;
}

}  // namespace zorva::plugin::crypto
