#pragma once

#include <string>
#include <tuple>

#include "json_binding.h"

namespace zorva::plugin::format {

// Identity of a sender, a module or a configuration entry.
struct Format {
    std::string type;
    std::string version;
    std::string category;
    std::string description;

    template <class Io>
    void json_io(Io& io) {
        io & json_dto::mandatory("type", type) & json_dto::optional("version", version) &
            json_dto::optional("category", category) &
            json_dto::optional("description", description);
    }

    // Sets of formats (and of records keyed by a format) see version and
    // description as payload: two formats of one type and category are one.
    bool operator<(const Format& other) const {
        return std::tie(type, category) < std::tie(other.type, other.category);
    }
};

}  // namespace zorva::plugin::format
