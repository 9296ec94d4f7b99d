#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "json_binding.h"

namespace zorva::plugin {

// A file carried inside a request payload: inline content or a local path,
// with its encoding, its conversion and a checksum of the content as sent.
struct FileInfo {
    struct Hash {
        std::string algorithm;
        std::string value;

        template <class Io>
        void json_io(Io& io) {
            io & json_dto::optional("algorithm", algorithm) & json_dto::optional("value", value);
        }
    };

    std::string id;
    std::string name;
    std::string path;
    std::string content;
    std::string contentEncoding;
    std::string contentFormat;
    Hash hash;

    template <class Io>
    void json_io(Io& io) {
        io & json_dto::optional("id", id) & json_dto::optional("name", name) &
            json_dto::optional("path", path) & json_dto::optional("content", content) &
            json_dto::optional("contentEncoding", contentEncoding) &
            json_dto::optional("hash", hash) & json_dto::optional("contentFormat", contentFormat);
    }
};

using FileInfoPtr = boost::shared_ptr<FileInfo>;

}  // namespace zorva::plugin
