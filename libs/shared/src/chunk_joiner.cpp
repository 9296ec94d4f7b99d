#include "chunk_joiner.h"

#include "base64.h"
#include "base64_stream_decoder.h"
#include "exception.h"
#include "file_description.h"
#include "json_binding.h"
#include "logging.h"
#include "running_checksum.h"
#include "safe_file_name.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <functional>
#include <utility>

namespace zorva::plugin::chunk_joiner {

namespace fs = boost::filesystem;

namespace {

using Files = std::vector<fs::path>::const_iterator;

// Whole groups of three bytes: a packed chunk encodes block by block.
constexpr std::size_t blockSize = 3 * 64 * 1024;
constexpr std::ptrdiff_t minFileChunks = 3;
constexpr const char* plainPayloadTail = ".data";
constexpr int payloadTooLarge = 20023;

// The text after the last dot of the name, dot included: the uuid of the file
// whose content a chunk carries, or "data" for chunks of the payload itself.
std::string tail(const fs::path& file) {
    const std::string name = file.filename().string();
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

void logChecksum(const std::string& uuid, const FileInfo::Hash& hash,
                 const std::string& calculated) {
    if (calculated == hash.value) {
        PLUGIN_LOG(info) << "chunk store: checksums for uuid: " << uuid << " equal"
                         << ", value: " << hash.value << ", algorithm: " << hash.algorithm;
    } else {
        PLUGIN_LOG(warning) << "chunk store: checksums for uuid: " << uuid << " not equal"
                            << ", expected: " << hash.value << ", calculated: " << calculated
                            << ", algorithm: " << hash.algorithm;
    }
}

using Packed = std::set<std::string>;

bool isPacked(const fs::path& file, const Packed& packed) {
    return packed.count(file.filename().string()) != 0;
}

// The length of the text a chunk file stands for.
std::uintmax_t textSize(const fs::path& file, const Packed& packed) {
    const std::uintmax_t size = fs::file_size(file);
    return isPacked(file, packed) ? size / 3 * 4 : size;
}

using GroupAction = std::function<void(Files, Files)>;

// Runs of chunk files of one tail: those copied into the payload as they are,
// and those that form an embedded file.
void forEachGroup(Files first, Files last, const GroupAction& copied, const GroupAction& file) {
    Files group = first;
    for (Files current = first; current != last; ++current) {
        if (tail(*current) == tail(*group)) continue;
        // Chunks of the payload itself are never a file, however many there are.
        if (current - group < minFileChunks || tail(*group) == plainPayloadTail) {
            copied(group, current);
        } else {
            file(group, current);
        }
        group = current;
    }
    // The last group is the closing of the payload, however long.
    copied(group, last);
}

// What the payload will take in memory: copied chunks whole, of an embedded
// file only its description.
std::uintmax_t payloadSize(Files first, Files last, const Packed& packed) {
    std::uintmax_t size = 0;
    const auto add = [&](Files from, Files to) {
        for (; from != to; ++from) size += textSize(*from, packed);
    };
    forEachGroup(first, last, add, [&](Files from, Files to) {
        add(from, from + 1);
        add(to - 1, to);
    });
    return size;
}

class Joiner {
public:
    Joiner(fs::path catalog, const Packed& packed, RunningChecksums& checksums)
        : catalog_(std::move(catalog)), packed_(packed), checksums_(checksums), block_(blockSize) {}

    std::string join(Files first, Files last) {
        forEachGroup(
            first, last, [this](Files from, Files to) { append(from, to); },
            [this](Files from, Files to) { joinFile(from, to); });
        return std::move(output_);
    }

private:
    using Consumer = std::function<void(const char*, std::size_t)>;

    void append(Files first, Files last) {
        for (; first != last; ++first)
            readText(*first, [this](const char* text, std::size_t n) { output_.append(text, n); });
    }

    void joinFile(Files first, Files last) {
        std::string description = readAll(*first) + readAll(*(last - 1));
        // The separator in front of an array element is no part of the object.
        const bool comma = !description.empty() && description.front() == ',';
        if (comma) description.front() = ' ';
        FileInfo info = json_dto::from_json<FileInfo>(description);

        const bool base64 = info.contentEncoding == "base64";
        std::string uuid = tail(*first);
        uuid.erase(0, 1);
        const fs::path target = targetPath(info.name.empty() ? uuid : info.name, uuid);
        info.contentEncoding = "temp";
        info.path = target.string();
        // Taken even when there is nothing to compare: the entry holds a chunk
        // of content, and a file sent again under its uuid must start afresh.
        const std::string calculated = checksums_.take(uuid);
        if (!info.hash.value.empty()) logChecksum(uuid, info.hash, calculated);

        if (comma) output_ += ',';
        output_ += json_dto::to_json(info);
        writeContent(target, first + 1, last - 1, base64);
    }

    // Two files of one request may share a name, and a name may be that of a
    // chunk file still to be read: neither may overwrite the other, so a name
    // already taken moves into a directory of the file's uuid.
    fs::path targetPath(const std::string& name, const std::string& uuid) const {
        const fs::path target = catalog_ / checkedFileName(name, "messageFromChunks");
        if (!fs::exists(target)) return target;
        const fs::path own = catalog_ / checkedFileName(uuid, "messageFromChunks");
        fs::create_directories(own);
        return own / name;
    }

    // The content chunks decode as one text: a group of four characters may
    // be cut between two chunks, and the first "=" ends the content.
    void writeContent(const fs::path& target, Files first, Files last, bool base64) {
        fs::ofstream out;
        out.exceptions(std::ios::failbit | std::ios::badbit);
        out.open(target, std::ios::binary | std::ios::trunc);
        base64::StreamDecoder decoder(out);
        for (; first != last; ++first) {
            if (base64 && isPacked(*first, packed_)) {
                readBlocks(*first, [&](const char* bytes, std::size_t n) {
                    decoder.writeDecoded(bytes, n);
                });
                continue;
            }
            readText(*first, [&](const char* text, std::size_t n) {
                if (base64) {
                    decoder.write(text, n);
                } else {
                    out.write(text, static_cast<std::streamsize>(n));
                }
            });
        }
        if (base64) decoder.finish();
    }

    void readBlocks(const fs::path& file, const Consumer& consume) {
        fs::ifstream in;
        in.exceptions(std::ios::failbit | std::ios::badbit);
        in.open(file, std::ios::binary);
        // Reading the last block sets failbit: only a failed read is an error.
        in.exceptions(std::ios::badbit);
        while (in.read(block_.data(), static_cast<std::streamsize>(block_.size())) ||
               in.gcount() > 0) {
            consume(block_.data(), static_cast<std::size_t>(in.gcount()));
        }
    }

    // The chunk's text, as it came.
    void readText(const fs::path& file, const Consumer& consume) {
        if (!isPacked(file, packed_)) {
            readBlocks(file, consume);
            return;
        }
        readBlocks(file, [&](const char* bytes, std::size_t n) {
            base64::encodeTo(bytes, n, text_);
            consume(text_.data(), text_.size());
        });
    }

    std::string readAll(const fs::path& file) {
        std::string text;
        readText(file, [&text](const char* bytes, std::size_t n) { text.append(bytes, n); });
        return text;
    }

    fs::path catalog_;
    const Packed& packed_;
    RunningChecksums& checksums_;
    std::vector<char> block_;
    std::string text_;
    std::string output_;
};

}  // namespace

std::string join(const fs::path& catalog, const std::vector<fs::path>& files, const Packed& packed,
                 RunningChecksums& checksums, std::uintmax_t maxPayload) {
    const std::uintmax_t size = payloadSize(files.begin(), files.end(), packed);
    if (size > maxPayload) {
        PLUGIN_THROW(exception::ApplicationException(payloadTooLarge) << exception::Message_(
                         "chunk store: a payload of " + std::to_string(size) +
                         " bytes is over the limit of " + std::to_string(maxPayload) +
                         " bytes; send large content as a file"),
                     "messageFromChunks");
    }
    return Joiner(catalog, packed, checksums).join(files.begin(), files.end());
}

}  // namespace zorva::plugin::chunk_joiner
