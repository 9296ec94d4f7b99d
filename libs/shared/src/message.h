#pragma once

#include <map>
#include <set>
#include <string>
#include <tuple>

#include <boost/shared_ptr.hpp>

#include "format.h"
#include "json_binding.h"

namespace zorva::plugin::format {

// The request and reply record of the message protocol. Every scalar is a
// JSON string, numbers included.
struct Message {
    struct Module {
        std::string type;
        std::string version;

        template <class Io>
        void json_io(Io& io) {
            io & json_dto::mandatory("type", type) & json_dto::mandatory("version", version);
        }
    };

    struct Method {
        std::string type;
        std::string data;
        std::string result;

        template <class Io>
        void json_io(Io& io) {
            io & json_dto::mandatory("type", type) & json_dto::optional("data", data) &
                json_dto::optional("result", result);
        }
    };

    struct Content {
        std::string type;
        std::string charset;
        std::string transferEncoding;

        template <class Io>
        void json_io(Io& io) {
            io & json_dto::optional("type", type) & json_dto::optional("charset", charset) &
                json_dto::optional("transferEncoding", transferEncoding);
        }
    };

    struct Route {
        std::string node;
        std::string time;

        template <class Io>
        void json_io(Io& io) {
            io & json_dto::optional("node", node) & json_dto::optional("time", time);
        }

        bool operator<(const Route& other) const {
            return std::tie(time, node) < std::tie(other.time, other.node);
        }
    };

    struct Meta {
        Format format;
        std::string id;
        Format protocol;
        Content content;
        std::set<Route> routes;
        std::map<std::string, std::string> profile;
        std::map<std::string, std::string> data;
        std::string userAgent;
        std::string chunk;
        std::string chunks;

        template <class Io>
        void json_io(Io& io) {
            io & json_dto::mandatory("format", format) & json_dto::optional("id", id) &
                json_dto::optional("protocol", protocol) &
                json_dto::optional("content", content) & json_dto::optional("routes", routes) &
                json_dto::optional("profile", profile) & json_dto::optional("data", data) &
                json_dto::optional("userAgent", userAgent) & json_dto::optional("chunk", chunk) &
                json_dto::optional("chunks", chunks);
        }
    };

    std::string id;
    Module module;
    Method method;
    std::string error;
    std::string code;
    std::string errorMessage;
    std::string node;
    std::string mode;
    Meta meta;

    template <class Io>
    void json_io(Io& io) {
        io & json_dto::mandatory("id", id) & json_dto::mandatory("module", module) &
            json_dto::mandatory("method", method) & json_dto::optional("error", error) &
            json_dto::optional("code", code) & json_dto::optional("errorMessage", errorMessage) &
            json_dto::optional("node", node) & json_dto::optional("mode", mode) &
            json_dto::optional("meta", meta);
    }
};

using MessagePtr = boost::shared_ptr<Message>;

// A module that signs what the page sent needs the request exactly as it
// arrived, not as re-rendered JSON: a request that carries a "messageContent"
// entry in "meta"."data" gets its raw text there.
void keepRawText(Message& request, const std::string& text);

// Local time of handling as a route writes it: "DD.MM.YYYY, HH:MM:SS".
std::string routeTime();

}  // namespace zorva::plugin::format
