#include "running_checksum.h"

#include <openssl/evp.h>

#include <utility>

namespace zorva::plugin {

namespace {

// Shorter texts are added here sooner than a thread is woken for them.
constexpr std::size_t backgroundFrom = 64 * 1024;

}  // namespace

RunningChecksums::Entry::Entry() : md5(EVP_md5()) {}

void RunningChecksums::feed(const std::string& uuid, const std::string& text) {
    finishAdding();
    const auto [entry, created] = entries_.try_emplace(uuid);
    Entry& held = entry->second;
    if (created) held.adding = text.find("\"hash\"") != std::string::npos;
    if (created || !held.adding) return;
    if (held.pending.size() >= backgroundFrom) {
        // The buffers swap roles, so neither is allocated anew for each chunk,
        // and the table holds one buffer more than its files, not one each.
        std::swap(adding_, held.pending);
        held.pending.clear();
        // Still in memory until added.
        addingBytes_ = adding_.size();
        job_.start([this, &held] { held.md5.addData(adding_.data(), adding_.size()); });
    } else {
        held.md5.addData(held.pending.data(), held.pending.size());
    }
    pendingBytes_ = pendingBytes_ - held.pending.size() + text.size();
    held.pending.assign(text);
}

std::optional<std::string> RunningChecksums::take(const std::string& uuid) {
    finishAdding();
    const auto found = entries_.find(uuid);
    if (found == entries_.end()) return std::string();
    std::optional<std::string> digest;
    if (found->second.adding) digest = found->second.md5.hexResult();
    forget(uuid);
    return digest;
}

void RunningChecksums::forget(const std::string& uuid) {
    finishAdding();
    const auto found = entries_.find(uuid);
    if (found == entries_.end()) return;
    pendingBytes_ -= found->second.pending.size();
    entries_.erase(found);
}

void RunningChecksums::finishAdding() {
    job_.wait();
    pendingBytes_ -= addingBytes_;
    addingBytes_ = 0;
}

}  // namespace zorva::plugin
