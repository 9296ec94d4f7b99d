#include "request_file.h"

#include "chunk_area.h"
#include "exception.h"
#include "file_info.h"
#include "path_registry.h"

#include <boost/filesystem/operations.hpp>

namespace zorva::plugin {
namespace {

namespace fs = boost::filesystem;

bool isJoinedFile(const FileInfo& file) {
    if (file.contentEncoding != "temp") return false;
    boost::system::error_code error;
    const fs::path root = fs::canonical(chunk_area::root(), error);
    if (error) return false;
    const fs::path path = fs::canonical(file.path, error);
    if (error || !fs::is_regular_file(path, error)) return false;
    return path_registry::isSubPath(path, root);
}

}  // namespace

std::unique_ptr<std::istream> openRequestFile(const FileInfo& file, const char* operation) {
    if (!file.path.empty() && !isJoinedFile(file))
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::RequestFormat)
                         << exception::Message_(std::string(operation) +
                                                ": only inline content and files joined from "
                                                "chunks are read"),
                     operation);
    auto stream = toRaw(file);
    stream->exceptions(std::ios::badbit);
    return stream;
}

}  // namespace zorva::plugin
