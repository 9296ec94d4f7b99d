#include "chunk_store.h"

#include "background_removal.h"
#include "base64.h"
#include "base64_stream_decoder.h"
#include "chunk_area.h"
#include "chunk_joiner.h"
#include "exception.h"
#include "logging.h"
#include "safe_file_name.h"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cstdint>
#include <iomanip>
#include <stdexcept>
#include <utility>
#include <vector>

namespace zorva::plugin {

namespace fs = boost::filesystem;
using chunk_joiner::StoredChunk;
using format::Message;
using format::MessagePtr;

namespace {

// How much a store writes at most before it asks for the free space again.
constexpr std::uintmax_t spaceCheckInterval = 64 * 1024 * 1024;
constexpr std::size_t maxChunkFileNameSize = 255;
// Small enough for the decoded block to come from the heap, not from pages
// mapped and faulted in anew for every chunk.
constexpr std::size_t decodeBlockSize = 64 * 1024;

[[noreturn]] void refuseOverLimit(const char* what, std::uintmax_t limit) {
    PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::ChunkedLimit)
                     << exception::Message_(std::string("chunk store: more ") + what +
                                            " than this connection may hold (" +
                                            std::to_string(limit) + ")"),
                 "join");
}

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

// Ordered by chunk number: 10.12.data comes after 9.12.data.
std::vector<StoredChunk> sortedChunks(const std::map<std::string, StoredChunk>& byName) {
    std::vector<std::pair<int, const StoredChunk*>> numbered;
    numbered.reserve(byName.size());
    for (const auto& [name, chunk] : byName)
        numbered.emplace_back(toInt(name, "messageFromChunks"), &chunk);
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<StoredChunk> chunks;
    chunks.reserve(numbered.size());
    for (const auto& [number, chunk] : numbered) chunks.push_back(*chunk);
    return chunks;
}

// The characters before the first "=", the only ones a decoder looks at.
std::size_t base64Length(const std::string& text) { return std::min(text.find('='), text.size()); }

std::uintmax_t writeDecoded(std::ostream& out, const std::string& text) {
    base64::StreamDecoder decoder(out);
    for (std::size_t offset = 0; offset < text.size(); offset += decodeBlockSize)
        decoder.write(text.data() + offset, std::min(decodeBlockSize, text.size() - offset));
    decoder.finish();
    return decoder.written();
}

// Base64 text too short to give a byte is stored as it came; a character
// outside the alphabet fails it all the same. Returns the size written.
std::uintmax_t writeChunkBytes(std::ostream& out, const std::string& data, bool base64) {
    if (base64 && base64Length(data) >= 2) return writeDecoded(out, data);
    if (base64) base64::decode(data.data(), base64Length(data));
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return data.size();
}

// Written aside and renamed into place: a chunk file is complete or absent,
// and a chunk that fails to decode leaves an earlier copy as it was. Returns
// the file's size.
std::uintmax_t writeChunkFile(const fs::path& file, const std::string& data, bool base64) {
    const fs::path partial =
        file.parent_path().parent_path() / fs::unique_path("%%%%-%%%%-%%%%-%%%%.partial");
    try {
        fs::ofstream out;
        out.exceptions(std::ios::failbit | std::ios::badbit);
        out.open(partial, std::ios::binary | std::ios::trunc);
        const std::uintmax_t size = writeChunkBytes(out, data, base64);
        out.close();
        fs::rename(partial, file);
        return size;
    } catch (...) {
        boost::system::error_code ignored;
        fs::remove(partial, ignored);
        throw;
    }
}

// Decodes the text into the file from `end` on, over whatever a write that
// failed may have left there. Returns the size written.
std::uintmax_t writeDecodedAt(const fs::path& file, std::uintmax_t end, const std::string& text) {
    fs::fstream out;
    out.exceptions(std::ios::failbit | std::ios::badbit);
    out.open(file, std::ios::binary | std::ios::out | (end == 0 ? std::ios::trunc : std::ios::in));
    out.seekp(static_cast<std::streamoff>(end));
    const std::uintmax_t size = writeDecoded(out, text);
    out.close();
    return size;
}

// A file chunk of whole base64 groups without padding is kept as the bytes it
// stands for: a quarter less to write, and nothing left to decode when it
// turns out to be content. Those bytes encode back to exactly the text that
// came, so the chunk loses nothing whatever part of the payload it is. The
// packed chunks of one uuid go one after another into one file: no file is
// made per chunk, and content that came in order is joined by naming that
// file.
bool packable(const Message& message) {
    const std::string& data = message.method.data;
    return !message.meta.id.empty() && message.meta.content.transferEncoding != "base64" &&
           !data.empty() && data.size() % 4 == 0 && data.find('=') == std::string::npos;
}

StoredChunk writePacked(const fs::path& catalog, const std::string& name, std::uintmax_t& end,
                        const Message& message) {
    const fs::path file = catalog / ("packed." + message.meta.id);
    const std::uintmax_t size = writeDecodedAt(file, end, message.method.data);
    StoredChunk chunk{name, file, end, size, true};
    end += size;
    return chunk;
}

// The bytes that a chunk sent again, or the end of its transfer, gives back:
// those of a file of its own. A packed chunk's bytes stay in the packed file,
// which its transfer gives back whole when it ends.
std::uintmax_t ownFileBytes(const StoredChunk& chunk) { return chunk.packed ? 0 : chunk.size; }

// `packedEnds`: by uuid, where the file of its packed chunks ends.
StoredChunk writeChunk(const fs::path& catalog, const std::string& name,
                       std::map<std::string, std::uintmax_t>& packedEnds, const Message& message) {
    if (packable(message)) {
        try {
            return writePacked(catalog, name, packedEnds[message.meta.id], message);
        } catch (const base64::DecodeError&) {
            // Text of other characters, such as a file's description.
        }
    }
    const fs::path file = catalog / name;
    const bool base64 = message.meta.content.transferEncoding == "base64";
    return {name, file, 0, writeChunkFile(file, message.method.data, base64), false};
}

// A number of at most nine digits, nothing else; 0 for any other text.
int chunkNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoi(text);
}

// 1 <= chunk <= chunks, both decimal: a chunk outside its own count could
// never be joined and would only take space.
void checkChunkNumbers(const Message::Meta& meta) {
    const int chunk = chunkNumber(meta.chunk);
    if (chunk < 1 || chunk > chunkNumber(meta.chunks))
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::RequestFormat),
                     "join");
}

}  // namespace

ChunkStore::ChunkStore() : ChunkStore(configuredChunkLimits()) {}

ChunkStore::ChunkStore(const ChunkLimits& limits) : limits_(limits) {}

ChunkStore::~ChunkStore() {
    if (!directory_.empty()) background_removal::start(directory_);
}

MessagePtr ChunkStore::join(const MessagePtr& message) {
    const Message::Meta& meta = message->meta;
    if (meta.chunks.empty() || meta.chunks == "1") return message;

    checkChunkNumbers(meta);
    dropIdleTransfers();
    const fs::path catalog = directory() / checkedFileName(message->id, "join");
    const std::string name = chunkFileName(meta);
    const auto known = transfers_.find(message->id);
    const bool opening = known == transfers_.end();
    checkFreeSpace(opening);
    checkLimits(opening ? nullptr : &known->second, name, *message);
    if (meta.chunk == "1")
        PLUGIN_LOG(warning) << "chunk store: create catalog for chunks: " << catalog;
    Transfer& transfer = opening ? openTransfer(message->id, catalog) : known->second;
    store(transfer, catalog, name, *message);

    if (meta.chunk != meta.chunks) return MessagePtr();
    return messageFromChunks(message, catalog, transfer);
}

void ChunkStore::removeCatalog(const MessagePtr& message) {
    // An unsafe id never got a catalog: there is nothing of it to remove.
    if (!isSafeFileName(message->id) || directory_.empty()) return;
    drop(message->id);
}

const fs::path& ChunkStore::directory() {
    if (directory_.empty()) directory_ = chunk_area::newStoreDirectory();
    return directory_;
}

const fs::path& ChunkStore::root() { return chunk_area::root(); }

// The catalog is made, and an earlier one's removal awaited, once per
// transfer: while the transfer lasts, this store alone writes in it.
ChunkStore::Transfer& ChunkStore::openTransfer(const std::string& id, const fs::path& catalog) {
    background_removal::waitFor(catalog);
    chunk_area::requirePrivateDirectory(catalog, "join");
    Transfer& transfer = transfers_[id];
    transfer.lastUse = Clock::now();
    return transfer;
}

// The data's size bounds the stored bytes: decoding only shrinks it. A
// transfer not yet open counts towards the open ones.
void ChunkStore::checkLimits(const Transfer* open, const std::string& chunkName,
                             const Message& message) const {
    static const Transfer notOpen;
    if (!open && transfers_.size() >= limits_.transfers)
        refuseOverLimit("open transfers", limits_.transfers);
    const Transfer& transfer = open ? *open : notOpen;
    const auto earlier = transfer.chunks.find(chunkName);
    const bool replaces = earlier != transfer.chunks.end();
    const std::uintmax_t freed = replaces ? ownFileBytes(earlier->second) : 0;
    const std::uintmax_t size = message.method.data.size();
    if (!replaces && chunks_ >= limits_.chunks) refuseOverLimit("chunks", limits_.chunks);
    if (bytes_ - freed + size > limits_.bytes) refuseOverLimit("bytes of chunks", limits_.bytes);
    if (!message.meta.id.empty() && checksums_.pendingBytes() + size > limits_.memory)
        refuseOverLimit("bytes of file chunks in memory", limits_.memory);
}

void ChunkStore::store(Transfer& transfer, const fs::path& catalog, const std::string& name,
                       const Message& message) {
    StoredChunk chunk = writeChunk(catalog, name, transfer.packedEnds, message);
    uncheckedBytes_ += chunk.size;
    PLUGIN_LOG(info) << "chunk store: write chunk id: " << std::quoted(message.id)
                     << ", file: " << std::quoted(name) << ", size: " << chunk.size;
    auto [entry, added] = transfer.chunks.try_emplace(name);
    StoredChunk& earlier = entry->second;
    if (added) {
        ++chunks_;
    } else {
        bytes_ -= ownFileBytes(earlier);
        // A chunk file that a packed chunk replaces would only take space.
        boost::system::error_code ignored;
        if (chunk.packed && !earlier.packed) fs::remove(earlier.file, ignored);
    }
    bytes_ += chunk.size;
    earlier = std::move(chunk);
    transfer.lastUse = Clock::now();
    if (message.meta.id.empty()) return;
    transfer.uuids.insert(message.meta.id);
    checksums_.feed(message.meta.id, message.method.data);
}

MessagePtr ChunkStore::messageFromChunks(const MessagePtr& message, const fs::path& catalog,
                                         const Transfer& transfer) {
    Message::Meta& meta = message->meta;
    const int expected = toInt(meta.chunks, "messageFromChunks");
    const std::vector<StoredChunk> chunks = sortedChunks(transfer.chunks);
    PLUGIN_LOG(info) << "chunk store: got last chunk: " << meta.chunk
                     << ", real chunks count: " << chunks.size();
    if (chunks.size() != static_cast<std::size_t>(expected)) {
        PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::AssemblyFailed),
                     "messageFromChunks");
    }
    message->method.data = chunk_joiner::join(catalog, chunks, checksums_, limits_.payload);
    meta.chunk.clear();
    meta.chunks.clear();
    return message;
}

// Asked when a transfer opens, and again once this store has written what
// the volume had to spare, or a share of it: a transfer announced small may
// grow without end, and other writers take space too.
void ChunkStore::checkFreeSpace(bool opening) {
    if (!opening && uncheckedBytes_ < uncheckedBudget_) return;
    boost::system::error_code error;
    const fs::space_info space = fs::space(directory_, error);
    uncheckedBytes_ = 0;
    // A volume that cannot tell its free space is taken to have enough.
    if (error || space.available > limits_.freeSpace) {
        const std::uintmax_t spare =
            error ? spaceCheckInterval : space.available - limits_.freeSpace;
        uncheckedBudget_ = std::min(spare, spaceCheckInterval);
        return;
    }
    uncheckedBudget_ = 0;
    dropAll();
    PLUGIN_THROW(exception::ApplicationException(exception::ApplicationCode::DiskFull), "join");
}

void ChunkStore::dropIdleTransfers() {
    const Clock::time_point now = Clock::now();
    std::vector<std::string> idle;
    for (const auto& [id, transfer] : transfers_)
        if (now - transfer.lastUse > limits_.idle) idle.push_back(id);
    for (const std::string& id : idle) {
        PLUGIN_LOG(info) << "chunk store: drop idle transfer id: " << std::quoted(id);
        drop(id);
    }
}

void ChunkStore::drop(const std::string& id) {
    // Only a transfer this store knows has a catalog: every other request
    // (most are not chunked) must cost no file-system call.
    const auto found = transfers_.find(id);
    if (found == transfers_.end()) return;
    background_removal::start(directory_ / id);
    const Transfer& transfer = found->second;
    for (const auto& [name, chunk] : transfer.chunks) {
        --chunks_;
        bytes_ -= ownFileBytes(chunk);
    }
    // The packed files hold every packed chunk written, those sent again too.
    for (const auto& [uuid, end] : transfer.packedEnds) bytes_ -= end;
    for (const std::string& uuid : transfer.uuids) checksums_.forget(uuid);
    transfers_.erase(found);
}

void ChunkStore::dropAll() {
    while (!transfers_.empty()) drop(transfers_.begin()->first);
}

}  // namespace zorva::plugin
