#include "nmh.h"

#include "logging.h"
#include "message_handler.h"
#include "native_frame.h"
#include "platform_stdio.h"
#include "request_origin.h"

#include <boost/make_shared.hpp>

#include <rapidjson/document.h>

#include <stdexcept>

namespace zorva::plugin::module {
namespace {

// The extension adds the origin that the browser gave it to every message a
// page sends, over whatever the page put there; a frame from a program
// carries none.
struct ForwardedFrame {
    format::Message message;
    std::string origin;

    template <class Io>
    void json_io(Io& io) {
        message.json_io(io);
        io& json_dto::optional("origin", origin);
    }
};

// A frame's top-level string member, empty when there is none.
std::string memberText(const rapidjson::Document& document, const char* key) {
    const auto member = document.FindMember(key);
    if (member == document.MemberEnd() || !member->value.IsString()) return {};
    return {member->value.GetString(), member->value.GetStringLength()};
}

// What a frame that is no valid message still tells: the id, so that the page
// can match the error reply to its request, and the origin. A page's "{}"
// reaches us with only the origin the extension added: a request to stop.
struct FailedFrame {
    std::string id;
    std::string origin;
    bool stops = false;
};

FailedFrame failedFrame(const std::string& text) {
    rapidjson::Document document;
    try {
        json_dto::parse(text, document);
    } catch (const json_dto::ex_t&) {
        return {};
    }
    if (!document.IsObject()) return {};
    const std::string origin = memberText(document, "origin");
    const bool onlyOrigin = document.MemberCount() == 1 && document.HasMember("origin");
    return {memberText(document, "id"), origin, onlyOrigin};
}

// A frame that is no valid message becomes a request that carries the
// binding error, which the handler answers as it is: one page's mistake must
// not end the host that serves its tab. Without an id there is nothing to
// answer: the handler takes it for a repeated request and sends nothing.
// Empty for a request to stop.
format::MessagePtr messageFrom(const std::string& text) {
    ForwardedFrame frame;
    try {
        json_dto::from_json(text, frame);
    } catch (const std::exception& error) {
        const FailedFrame failed = failedFrame(text);
        format::setConnectionOrigin(failed.origin);
        if (failed.stops) return {};
        PLUGIN_LOG(warning) << "nmh: frame is no message: " << error.what();
        auto message = boost::make_shared<format::Message>();
        message->id = failed.id;
        message->error = error.what();
        return message;
    }
    format::setConnectionOrigin(frame.origin);
    format::keepRawText(frame.message, text);
    return boost::make_shared<format::Message>(std::move(frame.message));
}

}  // namespace

Nmh::Nmh() = default;

// The streams go first, and only then does Module write its finish record.
Nmh::~Nmh() = default;

void Nmh::run() {
    {
        std::lock_guard<std::mutex> lock(streamsMutex_);
        streams_ = std::make_unique<platform::StandardStreams>();
    }
    PLUGIN_LOG(info) << "nmh: serving standard input and output";
    try {
        MessageHandler handler(session().lock());
        while (!stopped()) handler.serveOne(this);
    } catch (const std::exception& error) {
        // The browser closed its end while a reply was being written.
        PLUGIN_LOG(info) << "nmh: connection lost, what: " << error.what();
    }
}

void Nmh::wake() {
    std::lock_guard<std::mutex> lock(streamsMutex_);
    if (streams_) streams_->interrupt();
}

format::MessagePtr Nmh::receive() {
    if (!streams_) return refuseReceive("standard streams are not taken");
    const auto text = native_frame::read(*streams_);
    // "{}" and shorter texts are how a program asks the host to stop.
    if (!text || text->size() <= 2) {
        format::setConnectionOrigin(std::string());
        return {};
    }
    const auto message = messageFrom(*text);
    if (message && message->mode == "debug") PLUGIN_LOG(info) << "nmh: receive: " << *text;
    return message;
}

void Nmh::send(const format::MessagePtr& message) {
    if (!streams_) return refuseSend("standard streams are not taken");
    // serveOne has named the protocol in the reply already. The module's whole
    // format record would lengthen every piece that splitReply cut to fit the
    // browsers' 1 MiB limit.
    const std::string text = json_dto::to_json(*message);
    native_frame::write(*streams_, text);
    if (message->mode == "debug") PLUGIN_LOG(info) << "nmh: send: " << text;
}

}  // namespace zorva::plugin::module
