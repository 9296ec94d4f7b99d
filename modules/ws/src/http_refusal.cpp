#include "http_refusal.h"

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

namespace zorva::plugin::module {

namespace http = boost::beast::http;

void refuseUpgrade(TimedSocket& socket, http::status status, unsigned version) {
    http::response<http::string_body> refusal(status, version);
    refusal.set(http::field::connection, "close");
    refusal.prepare_payload();
    http::write(socket, refusal);
}

}  // namespace zorva::plugin::module
