#include "chunk_store.h"

#include "background_removal.h"
#include "base64.h"
#include "base64_stream_decoder.h"
#include "chunk_joiner.h"
#include "exception.h"
#include "logging.h"
#include "path_registry.h"
#include "running_checksum.h"
#include "safe_file_name.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cstdint>
#include <iomanip>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

namespace zorva::plugin {

namespace fs = boost::filesystem;
using format::Message;
using format::MessagePtr;

namespace {

constexpr std::uintmax_t minFreeSpace = 3221225472;  // 3 GiB
constexpr std::size_t maxChunkFileNameSize = 255;
// Small enough for the decoded block to come from the heap, not from pages
// mapped and faulted in anew for every chunk.
constexpr std::size_t decodeBlockSize = 64 * 1024;
constexpr int notEnoughSpace = 20019;
constexpr int assemblyError = 20024;

// Every connection has a message handler, and every handler a store over the
// one root. The root is cleaned when the first store of the process starts and
// removed when the last one ends; until then each store removes only its own
// catalogs, or one connection would destroy another's transfer.
struct Stores {
    std::mutex mutex;
    int live = 0;
};

Stores& stores() {
    static Stores instance;
    return instance;
}

fs::path computeRoot() {
    const std::string category = path_registry::currentConfigCategory();
    // The root is removed as a whole: a category such as ".." would take the
    // data directory with it.
    if (!category.empty()) checkedFileName(category, "root");
    const fs::path root = path_registry::tempDir() / category;
    PLUGIN_LOG(info) << "chunk store: root  " << root.string();
    return root;
}

void prepareRoot(const fs::path& root, bool clean) {
    if (!fs::exists(root)) {
        fs::create_directories(root);
        fs::permissions(root, fs::all_all);
        return;
    }
    if (!clean) return;
    // Leftovers of an earlier run that cannot be removed must not stop this one.
    boost::system::error_code ignored;
    for (fs::directory_iterator entry(root, ignored), end; entry != end; entry.increment(ignored))
        fs::remove_all(entry->path(), ignored);
}

bool isFirstChunk(const Message::Meta& meta) { return meta.chunk.empty() || meta.chunk == "1"; }

std::string chunkFileName(const Message::Meta& meta) {
    const std::string tail = meta.id.empty() ? "data" : checkedFileName(meta.id, "join");
    return checkedFileName(meta.chunk + '.' + meta.chunks + '.' + tail, "join",
                           maxChunkFileNameSize);
}

// std::stoi, failing with the texts the peers know from the system's first
// platform.
int toInt(const std::string& text, const char* operation) {
    try {
        return std::stoi(text);
    } catch (const std::invalid_argument&) {
        PLUGIN_THROW(std::invalid_argument("invalid stoi argument"), operation);
    } catch (const std::out_of_range&) {
        PLUGIN_THROW(std::out_of_range("stoi argument out of range"), operation);
    }
}

// Ordered by the number a name starts with: 10.12.data comes after 9.12.data.
std::vector<fs::path> sortedChunkFiles(const fs::path& catalog) {
    std::vector<std::pair<int, fs::path>> numbered;
    for (const fs::directory_entry& entry : fs::directory_iterator(catalog)) {
        if (!fs::is_regular_file(entry.status())) continue;
        const fs::path& file = entry.path();
        numbered.emplace_back(toInt(file.filename().string(), "messageFromChunks"), file);
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<fs::path> files;
    files.reserve(numbered.size());
    for (auto& [number, file] : numbered) files.push_back(std::move(file));
    return files;
}

// The characters before the first "=", the only ones a decoder looks at.
std::size_t base64Length(const std::string& text) { return std::min(text.find('='), text.size()); }

void writeDecoded(std::ostream& out, const std::string& text) {
    base64::StreamDecoder decoder(out);
    for (std::size_t offset = 0; offset < text.size(); offset += decodeBlockSize)
        decoder.write(text.data() + offset, std::min(decodeBlockSize, text.size() - offset));
    decoder.finish();
}

// Base64 text too short to give a byte is stored as it came; a character
// outside the alphabet fails it all the same.
void writeChunkBytes(std::ostream& out, const std::string& data, bool base64) {
    if (base64 && base64Length(data) >= 2) {
        writeDecoded(out, data);
        return;
    }
    if (base64) base64::decode(data.data(), base64Length(data));
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Written aside and renamed into place: a chunk file is complete or absent,
// and a chunk that fails to decode leaves an earlier copy as it was.
void writeChunkFile(const fs::path& file, const std::string& data, bool base64) {
    const fs::path partial = ChunkStore::root() / fs::unique_path("%%%%-%%%%-%%%%-%%%%.partial");
    try {
        fs::ofstream out;
        out.exceptions(std::ios::failbit | std::ios::badbit);
        out.open(partial, std::ios::binary | std::ios::trunc);
        writeChunkBytes(out, data, base64);
        out.close();
        fs::rename(partial, file);
    } catch (...) {
        boost::system::error_code ignored;
        fs::remove(partial, ignored);
        throw;
    }
}

void storeChunk(const Message& message, const fs::path& file) {
    const std::string& data = message.method.data;
    writeChunkFile(file, data, message.meta.content.transferEncoding == "base64");
    PLUGIN_LOG(info) << "chunk store: write chunk id: " << std::quoted(message.id)
                     << ", file: " << std::quoted(file.filename().string())
                     << ", size: " << fs::file_size(file);
    if (!message.meta.id.empty()) running_checksum::feed(message.meta.id, data);
}

MessagePtr messageFromChunks(const MessagePtr& message, const fs::path& catalog) {
    Message::Meta& meta = message->meta;
    const int expected = toInt(meta.chunks, "messageFromChunks");
    const std::vector<fs::path> files = sortedChunkFiles(catalog);
    PLUGIN_LOG(info) << "chunk store: got last chunk: " << meta.chunk
                     << ", real chunks count: " << files.size();
    if (expected < 0 || files.size() != static_cast<std::size_t>(expected)) {
        PLUGIN_THROW(exception::ApplicationException(assemblyError), "messageFromChunks");
    }
    message->method.data = chunk_joiner::join(catalog, files);
    meta.chunk.clear();
    meta.chunks.clear();
    return message;
}

}  // namespace

ChunkStore::ChunkStore() {
    const fs::path& dir = root();
    Stores& s = stores();
    std::lock_guard<std::mutex> lock(s.mutex);
    background_removal::waitFor(dir);
    prepareRoot(dir, s.live == 0);
    ++s.live;
}

ChunkStore::~ChunkStore() { removeFiles(true); }

MessagePtr ChunkStore::join(const MessagePtr& message) {
    const Message::Meta& meta = message->meta;
    if (meta.chunks.empty() || meta.chunks == "1") return message;

    const fs::path catalog = root() / checkedFileName(message->id, "join");
    const fs::path file = catalog / chunkFileName(meta);
    if (isFirstChunk(meta)) {
        checkFreeSpace();
        PLUGIN_LOG(warning) << "chunk store: create catalog for chunks: " << catalog;
    }
    background_removal::waitFor(catalog);
    fs::create_directories(catalog);
    catalogs_.insert(catalog);
    storeChunk(*message, file);

    if (meta.chunk != meta.chunks) return MessagePtr();
    return messageFromChunks(message, catalog);
}

void ChunkStore::removeCatalog(const MessagePtr& message) {
    // An unsafe id never got a catalog: there is nothing of it to remove.
    if (!isSafeFileName(message->id)) return;
    const fs::path catalog = root() / message->id;
    catalogs_.erase(catalog);
    background_removal::start(catalog);
}

const fs::path& ChunkStore::root() {
    static const fs::path value = computeRoot();
    return value;
}

void ChunkStore::checkFreeSpace() {
    boost::system::error_code error;
    const fs::space_info space = fs::space(path_registry::tempDir(), error);
    // A volume that cannot tell its free space is taken to have enough.
    if (error || space.available > minFreeSpace) return;
    removeFiles(false);
    PLUGIN_THROW(exception::ApplicationException(notEnoughSpace), "join");
}

// Under the lock of the stores: a store that starts meanwhile waits for the
// removals started here before it prepares the root.
void ChunkStore::removeFiles(bool closing) {
    Stores& s = stores();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (closing) --s.live;
    if (s.live == (closing ? 0 : 1)) {
        background_removal::start(root());
    } else {
        for (const fs::path& catalog : catalogs_) background_removal::start(catalog);
    }
    catalogs_.clear();
}

}  // namespace zorva::plugin
