#include "request_origin.h"

namespace zorva::plugin::format {
namespace {

thread_local std::string servedOrigin;

}  // namespace

const char* const originKey = "origin";

void stampOrigin(Message& request, const std::string& origin) {
    request.meta.data[originKey] = origin;
}

std::string originOf(const Message& request) {
    const auto entry = request.meta.data.find(originKey);
    return entry == request.meta.data.end() ? std::string() : entry->second;
}

void setConnectionOrigin(const std::string& origin) { servedOrigin = origin; }

const std::string& connectionOrigin() { return servedOrigin; }

}  // namespace zorva::plugin::format
