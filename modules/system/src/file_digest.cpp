#include "file_digest.h"

#include "background_job.h"
#include "evp_digest.h"
#include "exception.h"
#include "file_description.h"
#include "json_binding.h"
#include "request_file.h"

#include <openssl/evp.h>

#include <cstdint>
#include <istream>
#include <vector>

namespace zorva::plugin::module {
namespace {

using exception::ApplicationCode;
using exception::ApplicationException;

constexpr std::size_t blockSize = 1024 * 1024;
// Below this a block is hashed twice here sooner than a thread is woken.
constexpr std::size_t sideBySideFrom = 64 * 1024;

struct FileDigest {
    std::string name;
    std::string size;
    std::string md5;
    std::string sha256;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::mandatory("name", name) & json_dto::mandatory("size", size) &
            json_dto::mandatory("md5", md5) & json_dto::mandatory("sha256", sha256);
    }
};

[[noreturn]] void refuse(const char* reason) {
    PLUGIN_THROW(ApplicationException(ApplicationCode::RequestFormat)
                     << exception::Message_(reason),
                 "digest");
}

// The two hashes of each large block run side by side: an uploaded file of a
// gigabyte is hashed while the page waits.
FileDigest digestOf(const FileInfo& file) {
    const auto stream = openRequestFile(file, "digest");
    EvpDigest md5(EVP_md5());
    EvpDigest sha256(EVP_sha256());
    BackgroundJob sha256Job;
    std::vector<char> block(blockSize);
    std::uint64_t size = 0;
    do {
        stream->read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto count = static_cast<std::size_t>(stream->gcount());
        if (count >= sideBySideFrom) {
            sha256Job.start([&] { sha256.addData(block.data(), count); });
        } else {
            sha256.addData(block.data(), count);
        }
        md5.addData(block.data(), count);
        sha256Job.wait();
        size += static_cast<std::uint64_t>(count);
    } while (*stream);
    return {file.name, std::to_string(size), md5.hexResult(), sha256.hexResult()};
}

}  // namespace

std::string digestFiles(const std::string& request) {
    rapidjson::Document document;
    json_dto::parse(request, document);
    const char* const malformed = "digest: \"files\" must be an array of file descriptions";
    if (!document.IsObject()) refuse(malformed);
    const auto files = document.FindMember("files");
    if (files == document.MemberEnd() || !files->value.IsArray()) refuse(malformed);

    rapidjson::StringBuffer buffer;
    json_dto::writer_t writer(buffer);
    writer.StartArray();
    for (const auto& element : files->value.GetArray()) {
        FileInfo file;
        json_dto::read_value(element, file);
        json_dto::write_value(writer, digestOf(file));
    }
    writer.EndArray();
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace zorva::plugin::module
