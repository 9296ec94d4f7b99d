#pragma once

// The session a benchmark talks to: one handler module beside the WebSocket
// module, installed into the private tree the benchmark runs from.

#include "private_install.h"
#include "session.h"

#include <boost/make_shared.hpp>

#include <string>

inline boost::shared_ptr<zorva::plugin::Session> startBenchSession(const char* handlerModule,
                                                                   const std::string& type) {
    installDefaults("zorva.plugin", "");
    installModule(handlerModule);
    installModule(WS_MODULE);
    const auto session = zorva::plugin::Session::instance();
    session->init(boost::make_shared<zorva::plugin::format::Config>(
        json_dto::from_json<zorva::plugin::format::Config>(
            R"({"dependencies":[{"format":{"type":")" + type +
            R"("}},{"format":{"type":"ws"}}]})")));
    return session;
}
