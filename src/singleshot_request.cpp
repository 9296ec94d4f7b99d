#include "singleshot_request.h"

#include "command_line.h"
#include "json_binding.h"
#include "logging.h"
#include "request_origin.h"

#include <boost/filesystem/operations.hpp>
#include <boost/make_shared.hpp>

#include <exception>
#include <fstream>

namespace zorva::plugin {
namespace {

void readRequest(const boost::filesystem::path& path, format::Message& message) {
    if (!boost::filesystem::exists(path)) {
        message.error = "request not exists";
        return;
    }
    std::ifstream input(path.string(), std::ios::binary);
    json_dto::from_stream(input, message);
}

}  // namespace

format::MessagePtr requestFromFile() {
    const auto value = command_line::soleOptionValue(command_line::requestOption());
    if (!value) return {};
    const boost::filesystem::path path = value->toStdString();
    PLUGIN_LOG(info) << "core: process singleshot from " << path;
    auto message = boost::make_shared<format::Message>();
    try {
        readRequest(path, *message);
    } catch (const std::exception& error) {
        message->error = error.what();
    }
    format::stampOrigin(*message, "file://" + path.string());
    return message;
}

format::MessagePtr algorithmsRequest() {
    const auto provider = command_line::soleOptionValue(command_line::algorithmsProviderOption());
    if (!provider) return {};
    PLUGIN_LOG(info) << "core: process algorithms from " << provider->toStdString();
    auto message = boost::make_shared<format::Message>();
    message->id = "id";
    message->module.type = "crypto";
    message->method.type = "algorithms";
    message->method.data = provider->toStdString();
    return message;
}

}  // namespace zorva::plugin
