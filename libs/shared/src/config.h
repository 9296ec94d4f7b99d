#pragma once

#include <set>
#include <string>
#include <tuple>

#include <boost/shared_ptr.hpp>

#include "format.h"
#include "json_binding.h"

namespace zorva::plugin::format {

// The recursive module description: configuration files, plug-in metadata and
// the configuration each module is bound with.
struct Config {
    struct Method {
        std::string type;
        std::string description;
        std::string data;
        std::string result;

        template <class Io>
        void json_io(Io& io) {
            io & json_dto::mandatory("type", type) & json_dto::mandatory("result", result) &
                json_dto::optional("data", data) &
                json_dto::optional("description", description);
        }

        bool operator<(const Method& other) const {
            return std::tie(type, description, data, result) <
                   std::tie(other.type, other.description, other.data, other.result);
        }
    };

    struct Meta {
        Format format;
        std::string data;

        template <class Io>
        void json_io(Io& io) {
            io & json_dto::optional("format", format) & json_dto::optional("data", data);
        }

        bool operator<(const Meta& other) const { return format < other.format; }
    };

    Format format;
    std::set<Config> dependencies;
    std::set<Method> methods;
    std::set<Meta> meta;

    template <class Io>
    void json_io(Io& io) {
        io & json_dto::optional("format", format) &
            json_dto::optional("dependencies", dependencies) &
            json_dto::optional("methods", methods) & json_dto::optional("meta", meta);
    }

    bool operator<(const Config& other) const { return format < other.format; }
};

using ConfigPtr = boost::shared_ptr<Config>;
using MetaSet = std::set<Config::Meta>;

}  // namespace zorva::plugin::format
