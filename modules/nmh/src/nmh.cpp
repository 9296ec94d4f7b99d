#include "nmh.h"

#include "logging.h"
#include "message_handler.h"
#include "native_frame.h"
#include "platform_stdio.h"

#include <boost/make_shared.hpp>

#include <rapidjson/document.h>

#include <stdexcept>

namespace zorva::plugin::module {
namespace {

// The id of a frame that is no valid message, so that the page can still
// match the error reply to its request; empty when there is none.
std::string idOf(const std::string& text) {
    rapidjson::Document document;
    try {
        json_dto::parse(text, document);
    } catch (const json_dto::ex_t&) {
        return {};
    }
    if (!document.IsObject()) return {};
    const auto id = document.FindMember("id");
    if (id == document.MemberEnd() || !id->value.IsString()) return {};
    return {id->value.GetString(), id->value.GetStringLength()};
}

// A frame that is no valid message becomes a request that carries the
// binding error, which the handler answers as it is: one page's mistake must
// not end the host that serves its tab. Without an id there is nothing to
// answer: the handler takes it for a repeated request and sends nothing.
format::MessagePtr messageFrom(const std::string& text) {
    auto message = boost::make_shared<format::Message>();
    try {
        json_dto::from_json(text, *message);
    } catch (const std::exception& error) {
        PLUGIN_LOG(warning) << "nmh: frame is no message: " << error.what();
        *message = format::Message();
        message->id = idOf(text);
        message->error = error.what();
        return message;
    }
    format::keepRawText(*message, text);
    return message;
}

}  // namespace

Nmh::Nmh() = default;

// The streams go first, and only then does Module write its finish record.
Nmh::~Nmh() = default;

IProtocol* Nmh::protocol() { return this; }

std::string Nmh::name() { return config() ? config()->format.type : std::string(); }

void Nmh::run() {
    {
        std::lock_guard<std::mutex> lock(streamsMutex_);
        streams_ = std::make_unique<platform::StandardStreams>();
    }
    PLUGIN_LOG(info) << "nmh: serving standard input and output";
    try {
        MessageHandler handler(session().lock());
        while (!stopped_) handler.serveOne(this);
    } catch (const std::exception& error) {
        // The browser closed its end while a reply was being written.
        PLUGIN_LOG(info) << "nmh: connection lost, what: " << error.what();
    }
}

void Nmh::interrupt() {
    if (stopped_.exchange(true)) return;
    PLUGIN_LOG(warning) << "nmh: interrupt";
    std::lock_guard<std::mutex> lock(streamsMutex_);
    if (streams_) streams_->interrupt();
}

format::MessagePtr Nmh::receive() {
    if (!streams_) {
        PLUGIN_LOG(warning) << "nmh: standard streams are not taken, in rejected";
        return {};
    }
    const auto text = native_frame::read(*streams_);
    // "{}" and shorter texts are how a page asks the host to stop.
    if (!text || text->size() <= 2) return {};
    const auto message = messageFrom(*text);
    if (message->mode == "debug") PLUGIN_LOG(info) << "nmh: receive: " << *text;
    return message;
}

void Nmh::send(const format::MessagePtr& message) {
    if (!streams_) {
        PLUGIN_LOG(warning) << "nmh: standard streams are not taken, out rejected";
        return;
    }
    // serveOne has named the protocol in the reply already. The module's whole
    // format record would lengthen every piece that splitReply cut to fit the
    // browsers' 1 MiB limit.
    const std::string text = json_dto::to_json(*message);
    native_frame::write(*streams_, text);
    if (message->mode == "debug") PLUGIN_LOG(info) << "nmh: send: " << text;
}

}  // namespace zorva::plugin::module
