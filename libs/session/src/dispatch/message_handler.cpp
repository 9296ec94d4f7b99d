#include "message_handler.h"

#include "chunk_store.h"
#include "content_encoder.h"
#include "error_reply.h"
#include "exception.h"
#include "host_services.h"
#include "ihandler.h"
#include "iprotocol.h"
#include "logging.h"
#include "message_reply.h"
#include "reply_slices.h"
#include "request_origin.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <stdexcept>

namespace zorva::plugin {
namespace {

constexpr std::size_t maxReplySize = 10485760;
// A reply this long or longer goes out in pieces; each piece stays below a
// megabyte with room for its own fields.
constexpr std::size_t splitThreshold = 1048576;
constexpr std::size_t pieceSize = 1047552;
constexpr std::size_t maxPieceNumberDigits = 20;
// A reply whose other fields fill a piece on their own still goes out.
constexpr std::size_t minResultBudget = 1024;

// What the JSON text of one piece leaves for its result: the piece's other
// fields, its numbers at their widest, take the rest.
std::size_t resultBudget(const format::Message& emptied) {
    format::Message piece = emptied;
    piece.meta.chunk = piece.meta.chunks = std::string(maxPieceNumberDigits, '9');
    const std::size_t fields = json_dto::to_json(piece).size();
    return fields + minResultBudget < pieceSize ? pieceSize - fields : minResultBudget;
}

// The length of the reply's JSON text when it may reach `limit`, 0 when its
// bound shows it cannot: most replies are far too short to be written out
// only to be measured.
std::size_t lengthIfReaching(const format::Message& reply, std::size_t limit) {
    return json_dto::size_bound(reply) < limit ? 0 : json_dto::to_json(reply).size();
}

bool isChunked(const format::Message& request) {
    return !request.meta.chunks.empty() && request.meta.chunks != "1";
}

// Taken on the first dispatch of the process and never refreshed: the session
// binds its modules once, before any request arrives.
const module::HostServices::HandlerSet& handlerTable(
    const boost::weak_ptr<module::HostServices>& host) {
    static const module::HostServices::HandlerSet table =
        boost::shared_ptr<module::HostServices>(host)->handlers();
    return table;
}

void setState(int* state, int value) {
    if (!state || *state == value) return;
    *state = value;
    PLUGIN_LOG(warning) << "session: message handler switch state to: "
                        << MessageHandler::stateName(value);
}

void logRequest(const format::Message& request) {
    PLUGIN_LOG(info) << "session: handle message:"
                     << " id: " << request.id << ", module: " << request.module.type
                     << ", method: " << request.method.type << ", chunk: " << request.meta.chunk
                     << ", chunks: " << request.meta.chunks;
}

// The reply carries what the module answered: its error, or its result.
format::MessagePtr replyWithAnswer(const format::Message& answer,
                                   const MessageContentEncoderAdapter& adapter) {
    auto reply = format::replyFrom(answer);
    if (!answer.error.empty()) {
        reply->code = answer.code;
        reply->error = answer.error;
        reply->errorMessage = answer.errorMessage;
    } else {
        reply->method.result = answer.method.result;
        adapter.encodeReply(*reply);
    }
    return reply;
}

}  // namespace

std::string MessageHandler::stateName(int state) {
    static const char* const names[] = {"ok",        "error",     "obsolete", "next",
                                        "terminate", "corrupted", "cancel",   "none"};
    return state >= Ok && state <= None ? names[state] : "";
}

MessageHandler::MessageHandler(const boost::shared_ptr<module::HostServices>& host)
    : host_(host), chunkStore_(std::make_unique<ChunkStore>()) {
    PLUGIN_LOG(info) << "session: message handler start";
}

MessageHandler::~MessageHandler() = default;

format::MessagePtr MessageHandler::handle(const format::MessagePtr& request, int* state) {
    return handle(request, state, Origin::Trusted);
}

format::MessagePtr MessageHandler::handle(const format::MessagePtr& request, int* state,
                                          Origin origin) {
    format::MessagePtr reply = answer(request, state, origin);
    settle(reply, state);
    return reply;
}

// A request that ran to an answer leaves the state None: settle names it.
format::MessagePtr MessageHandler::answer(const format::MessagePtr& request, int* state,
                                          Origin origin) {
    const format::MessagePtr provisional = format::replyFrom(*request);
    logRequest(*request);
    setState(state, None);
    format::MessagePtr reply;
    try {
        reply = handleRequest(request, provisional, state, origin);
    } catch (const std::exception&) {
        const auto texts = exception::describeCurrentException();
        reply = provisional;
        exception::applyError(texts, *reply);
        if (texts.applicationCode == exception::ApplicationCode::SessionInterrupted) {
            setState(state, Terminate);
            reply.reset();
        } else if (texts.applicationCode == exception::ApplicationCode::Cancelled) {
            setState(state, Cancel);
            reply->method.result.clear();
        }
    }
    return reply;
}

void MessageHandler::settle(const format::MessagePtr& reply, int* state) {
    if (state && *state == None) setState(state, !reply || !reply->error.empty() ? Error : Ok);
}

// A first or unchunked piece begins a new transfer and forgets the id; a piece
// that repeats the id of the transfer completed last is obsolete.
bool MessageHandler::repeatsLastCompleted(const format::Message& request) {
    if (request.meta.chunk.empty() || request.meta.chunk == "1") lastCompletedId_.clear();
    return request.id == lastCompletedId_;
}

format::MessagePtr MessageHandler::handleRequest(const format::MessagePtr& request,
                                                 const format::MessagePtr& provisional, int* state,
                                                 Origin origin) {
    // Before anything touches the disk: a page without approval may not even
    // upload.
    if (origin == Origin::Checked) boost::shared_ptr<module::HostServices>(host_)->admit(*request);
    if (repeatsLastCompleted(*request)) {
        setState(state, Obsolete);
        return request;
    }
    if (!request->error.empty() || !request->method.result.empty()) {
        setState(state, Corrupted);
        return request;
    }
    // The chunk store decodes each chunk as it stores it.
    const bool decoded = isChunked(*request);
    const format::MessagePtr complete = chunkStore_->join(request);
    if (!complete) {
        setState(state, Next);
        return provisional;
    }
    lastCompletedId_ = complete->id;
    const format::MessagePtr reply = handleComplete(complete, decoded);
    // A request for the last error must still find the error of the request
    // before it.
    if (reply->error.empty() && reply->method.type != "lastError") exception::resetLastError();
    return reply;
}

format::MessagePtr MessageHandler::handleComplete(const format::MessagePtr& complete,
                                                  bool decoded) {
    // The joined files are of no use once the module has run, whether it
    // succeeded or not: they must not wait on disk for the handler's end.
    try {
        format::MessagePtr reply = handleImpl(complete, decoded);
        chunkStore_->removeCatalog(complete);
        return reply;
    } catch (...) {
        chunkStore_->removeCatalog(complete);
        throw;
    }
}

format::MessagePtr MessageHandler::handleImpl(const format::MessagePtr& message, bool decoded) {
    using exception::ApplicationCode;
    using exception::ApplicationException;
    const auto adapter =
        MessageContentEncoderAdapter::create(message->meta.content.transferEncoding);
    if (!adapter)
        PLUGIN_THROW(ApplicationException(ApplicationCode::UnsupportedConversion), "handleImpl");
    if (decoded) {
        message->meta.content.transferEncoding = binaryEncodingName;
    } else {
        adapter->decodeRequest(*message);
    }
    if (!dispatch(message)) {
        PLUGIN_THROW(ApplicationException(ApplicationCode::MethodNotFound)
                         << exception::Module_(message->module.type)
                         << exception::Method_(message->method.type),
                     "handleImpl");
    }
    format::MessagePtr reply = replyWithAnswer(*message, *adapter);
    if (lengthIfReaching(*reply, maxReplySize + 1) > maxReplySize)
        PLUGIN_THROW(ApplicationException(ApplicationCode::ReplyTooLarge), "handleImpl");
    return reply;
}

bool MessageHandler::dispatch(const format::MessagePtr& message) {
    for (module::IHandler* handler : handlerTable(host_)) {
        // The session's list never holds an empty entry.
        if (!handler)
            PLUGIN_THROW(
                exception::ApplicationException(exception::ApplicationCode::ModuleNotLoaded),
                "handle");
        if (handler->name() == message->module.type) return handler->handle(message);
    }
    return false;
}

void MessageHandler::serveOne(module::IProtocol* protocol) {
    if (!protocol) return;
    int state = None;
    format::MessagePtr reply;
    if (const format::MessagePtr request = protocol->receive()) {
        // Only the protocol knows who sent the request; the page never does.
        format::stampOrigin(*request, format::connectionOrigin());
        reply = answer(request, &state, Origin::Checked);
        if (reply) {
            reply->meta.protocol.type = protocol->name();
            reply->meta.protocol.category = "protocol";
        }
    } else {
        state = Terminate;
    }

    if (state == Terminate) {
        stop(protocol);
    } else if (state != Obsolete && state != Next && reply) {
        // A chunk acknowledgement is not sent to the peer. The record of the
        // outcome follows the answer, which need not wait for it.
        try {
            for (const auto& piece : splitReply(reply)) protocol->send(piece);
        } catch (...) {
            settle(reply, &state);
            throw;
        }
    }
    settle(reply, &state);
}

// Any page could otherwise end the host that the user started, and keep it
// down until the next login: an approved page as well, since approval lets a
// site ask for signatures, not take the host from the user's other pages.
// Programs of the user (no origin) still stop it, as the tray's Exit does.
void MessageHandler::stop(module::IProtocol* protocol) {
    const std::string& origin = format::connectionOrigin();
    if (origin.empty()) {
        protocol->interrupt();
        return;
    }
    PLUGIN_LOG(warning) << "session: request to stop refused, origin: \"" << origin << '"';
    PLUGIN_THROW(std::runtime_error("request to stop from a page"), "serveOne");
}

std::vector<format::MessagePtr> MessageHandler::splitReply(const format::MessagePtr& reply) {
    const std::size_t length = lengthIfReaching(*reply, splitThreshold);
    if (length < splitThreshold) return {reply};

    const std::size_t count = (length + pieceSize - 1) / pieceSize;
    const std::string result = std::move(reply->method.result);
    reply->method.result.clear();
    const std::vector<std::string> slices =
        reply_slices::cut(result, (result.size() + count - 1) / count, resultBudget(*reply));
    const std::size_t pieceCount = std::max(count, slices.size());
    std::vector<format::MessagePtr> pieces;
    for (std::size_t i = 0; i < pieceCount; ++i) {
        auto piece = boost::make_shared<format::Message>(*reply);
        piece->meta.chunk = std::to_string(i + 1);
        piece->meta.chunks = std::to_string(pieceCount);
        if (i < slices.size()) piece->method.result = slices[i];
        pieces.push_back(piece);
    }
    return pieces;
}

}  // namespace zorva::plugin
