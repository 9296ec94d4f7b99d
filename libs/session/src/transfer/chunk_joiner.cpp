#include "chunk_joiner.h"

#include "base64.h"
#include "base64_stream_decoder.h"
#include "evp_digest.h"
#include "exception.h"
#include "file_description.h"
#include "json_binding.h"
#include "logging.h"
#include "running_checksum.h"
#include "safe_file_name.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <openssl/evp.h>

#include <algorithm>
#include <functional>
#include <utility>

namespace zorva::plugin::chunk_joiner {

namespace fs = boost::filesystem;

namespace {

using Chunks = std::vector<StoredChunk>::const_iterator;

// Whole groups of three bytes: a packed chunk encodes block by block.
constexpr std::size_t blockSize = 3 * 64 * 1024;
constexpr std::ptrdiff_t minFileChunks = 3;
constexpr const char* plainPayloadTail = ".data";

// The text after the last dot of the chunk's name, dot included: the uuid of
// the file whose content it carries, or "data" for chunks of the payload itself.
std::string tail(const StoredChunk& chunk) {
    const auto dot = chunk.name.rfind('.');
    return dot == std::string::npos ? std::string() : chunk.name.substr(dot);
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

// The length of the text a chunk stands for.
std::uintmax_t textSize(const StoredChunk& chunk) {
    return chunk.packed ? chunk.size / 3 * 4 : chunk.size;
}

// Where the chunks that hold all of one packed file, one after another from
// its first byte, end: that file is their joined bytes already. `first` when
// the chunks begin otherwise.
Chunks endOfWholePackedFile(Chunks first, Chunks last) {
    std::uintmax_t end = 0;
    Chunks chunk = first;
    for (; chunk != last && chunk->packed && chunk->file == first->file && chunk->offset == end;
         ++chunk)
        end += chunk->size;
    boost::system::error_code error;
    const bool whole = chunk != first && fs::file_size(first->file, error) == end && !error;
    return whole ? chunk : first;
}

// A second name for the file, which stays where it is: a join tried again
// after a failure reads its chunks anew.
bool linked(const fs::path& file, const fs::path& name) {
    boost::system::error_code error;
    fs::create_hard_link(file, name, error);
    return !error;
}

using GroupAction = std::function<void(Chunks, Chunks)>;

// Runs of chunks of one tail: those copied into the payload as they are, and
// those that form an embedded file.
void forEachGroup(Chunks first, Chunks last, const GroupAction& copied, const GroupAction& file) {
    Chunks group = first;
    for (Chunks current = first; current != last; ++current) {
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
std::uintmax_t payloadSize(Chunks first, Chunks last) {
    std::uintmax_t size = 0;
    const auto add = [&](Chunks from, Chunks to) {
        for (; from != to; ++from) size += textSize(*from);
    };
    forEachGroup(first, last, add, [&](Chunks from, Chunks to) {
        add(from, from + 1);
        add(to - 1, to);
    });
    return size;
}

class Joiner {
public:
    Joiner(fs::path catalog, RunningChecksums& checksums)
        : catalog_(std::move(catalog)), checksums_(checksums), block_(blockSize) {}

    std::string join(Chunks first, Chunks last) {
        forEachGroup(
            first, last, [this](Chunks from, Chunks to) { append(from, to); },
            [this](Chunks from, Chunks to) { joinFile(from, to); });
        return std::move(output_);
    }

private:
    using Consumer = std::function<void(const char*, std::size_t)>;

    void append(Chunks first, Chunks last) {
        for (; first != last; ++first)
            readText(*first, [this](const char* text, std::size_t n) { output_.append(text, n); });
    }

    void joinFile(Chunks first, Chunks last) {
        std::string description = readAll(*first) + readAll(*(last - 1));
        // The separator in front of an array element is no part of the object.
        const bool comma = !description.empty() && description.front() == ',';
        if (comma) description.front() = ' ';
        FileInfo info = json_dto::from_json<FileInfo>(description);

        const bool base64 = info.contentEncoding == "base64";
        std::string uuid = tail(*first);
        uuid.erase(0, 1);
        const fs::path target = targetPath(uuid);
        info.contentEncoding = "temp";
        info.path = target.string();
        // Taken even when there is nothing to compare: the entry holds a chunk
        // of content, and a file sent again under its uuid must start afresh.
        const std::optional<std::string> added = checksums_.take(uuid);
        if (!info.hash.value.empty())
            logChecksum(uuid, info.hash, added ? *added : md5OfText(first + 1, last - 1));

        if (comma) output_ += ',';
        output_ += json_dto::to_json(info);
        writeContent(target, first + 1, last - 1, base64);
    }

    // A document's name is the page's data, in any script and of any length,
    // and never a path: the file is named after its uuid, which the store
    // already takes as a file name. A uuid may come twice in one request, and
    // a join tried again finds the files of the first try: neither may
    // overwrite the other, so a name already taken gets a number.
    fs::path targetPath(const std::string& uuid) const {
        const fs::path target = catalog_ / checkedFileName(uuid, "messageFromChunks");
        fs::path free = target;
        for (int number = 2; fs::exists(free); ++number)
            free = target.string() + '-' + std::to_string(number);
        return free;
    }

    // The content chunks decode as one text: a group of four characters may
    // be cut between two chunks, and the first "=" ends the content. Content
    // packed in order into a file of its own is that file already: the file
    // gets the target's name instead of being copied, and only the chunks
    // after it, such as a last one with padding, are added.
    void writeContent(const fs::path& target, Chunks first, Chunks last, bool base64) {
        fs::ofstream out;
        out.exceptions(std::ios::failbit | std::ios::badbit);
        const Chunks rest = base64 ? endOfWholePackedFile(first, last) : first;
        if (rest != first && linked(first->file, target)) {
            out.open(target, std::ios::binary | std::ios::app);
            first = rest;
        } else {
            out.open(target, std::ios::binary | std::ios::trunc);
        }
        base64::StreamDecoder decoder(out);
        for (; first != last; ++first) {
            if (base64 && first->packed) {
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

    // The MD5 of the chunks' text as it came, for content the running
    // checksum did not add up.
    std::string md5OfText(Chunks first, Chunks last) {
        EvpDigest md5(EVP_md5());
        for (; first != last; ++first)
            readText(*first, [&md5](const char* text, std::size_t n) { md5.addData(text, n); });
        return md5.hexResult();
    }

    // The chunk's bytes as they were stored; a file cut short fails to read.
    void readBlocks(const StoredChunk& chunk, const Consumer& consume) {
        fs::ifstream in;
        in.exceptions(std::ios::failbit | std::ios::badbit);
        in.open(chunk.file, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(chunk.offset));
        for (std::uintmax_t left = chunk.size; left > 0;) {
            const auto count = static_cast<std::size_t>(std::min<std::uintmax_t>(left, blockSize));
            in.read(block_.data(), static_cast<std::streamsize>(count));
            consume(block_.data(), count);
            left -= count;
        }
    }

    // The chunk's text, as it came.
    void readText(const StoredChunk& chunk, const Consumer& consume) {
        if (!chunk.packed) {
            readBlocks(chunk, consume);
            return;
        }
        readBlocks(chunk, [&](const char* bytes, std::size_t n) {
            base64::encodeTo(bytes, n, text_);
            consume(text_.data(), text_.size());
        });
    }

    std::string readAll(const StoredChunk& chunk) {
        std::string text;
        readText(chunk, [&text](const char* bytes, std::size_t n) { text.append(bytes, n); });
        return text;
    }

    fs::path catalog_;
    RunningChecksums& checksums_;
    std::vector<char> block_;
    std::string text_;
    std::string output_;
};

}  // namespace

std::string join(const fs::path& catalog, const std::vector<StoredChunk>& chunks,
                 RunningChecksums& checksums, std::uintmax_t maxPayload) {
    const std::uintmax_t size = payloadSize(chunks.begin(), chunks.end());
    if (size > maxPayload) {
        PLUGIN_THROW(
            exception::ApplicationException(exception::ApplicationCode::ReplyTooLarge)
                << exception::Message_("chunk store: a payload of " + std::to_string(size) +
                                       " bytes is over the limit of " + std::to_string(maxPayload) +
                                       " bytes; send large content as a file"),
            "messageFromChunks");
    }
    return Joiner(catalog, checksums).join(chunks.begin(), chunks.end());
}

}  // namespace zorva::plugin::chunk_joiner
