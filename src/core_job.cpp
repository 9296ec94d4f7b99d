#include "core_job.h"

#include "iprotocol.h"
#include "json_binding.h"
#include "logging.h"
#include "message_handler.h"
#include "session.h"
#include "singleshot_request.h"

#include <thread>
#include <utility>

namespace zorva::plugin {

CoreJob::CoreJob(boost::shared_ptr<Session> session) : session_(std::move(session)) {}

void CoreJob::operator()() const {
    if (answerRequestFile() || answerAlgorithmsRequest()) return;
    runProtocol();
}

bool CoreJob::answerRequestFile() const {
    const auto request = requestFromFile();
    if (!request) return false;
    if (const auto reply = MessageHandler(session_).handle(request))
        PLUGIN_LOG(info) << "core: singleshot " << json_dto::to_json(*reply);
    return true;
}

bool CoreJob::answerAlgorithmsRequest() const {
    const auto request = algorithmsRequest();
    if (!request) return false;
    if (const auto reply = MessageHandler(session_).handle(request)) {
        const std::string& algorithms = reply->method.result;
        PLUGIN_LOG(info) << "core: algorithms "
                         << (algorithms.empty() ? "no algorithms found" : algorithms);
    }
    return true;
}

void CoreJob::runProtocol() const {
    module::IProtocol* protocol = session_->protocolModule();
    if (!protocol) return;
    PLUGIN_LOG(info) << "protocol: thread " << std::this_thread::get_id();
    protocol->run();
}

}  // namespace zorva::plugin
