#include "message_reply.h"

#include <boost/make_shared.hpp>

#include "application_code.h"
#include "built_in_tables.h"
#include "user_identity.h"

namespace zorva::plugin::format {

MessagePtr replyFrom(const Message& request) {
    auto reply = boost::make_shared<Message>();
    reply->id = request.id;
    reply->node = request.node;
    reply->mode = request.mode;
    reply->error = request.error;
    reply->module = request.module;
    reply->method.type = request.method.type;
    reply->code = std::to_string(exception::value(exception::ApplicationCode::Success));
    reply->meta.userAgent = userAgentText();
    reply->meta.data = request.meta.data;
    reply->meta.profile = request.meta.profile;
    reply->meta.protocol = request.meta.protocol;
    reply->meta.routes = request.meta.routes;
    reply->meta.routes.insert({builtInCoreConfig().format.category, routeTime()});
    return reply;
}

}  // namespace zorva::plugin::format
