#include "running_checksum.h"

#include <utility>

namespace zorva::plugin {

void RunningChecksums::feed(const std::string& uuid, const std::string& text) {
    const auto [entry, created] = entries_.try_emplace(uuid);
    if (created) return;
    std::string& pending = entry->second.pending;
    if (!pending.empty())
        entry->second.md5.addData(pending.data(), static_cast<int>(pending.size()));
    pendingBytes_ = pendingBytes_ - pending.size() + text.size();
    pending = text;
}

std::string RunningChecksums::take(const std::string& uuid) {
    const auto found = entries_.find(uuid);
    if (found == entries_.end()) return {};
    const QByteArray digest = found->second.md5.result().toHex();
    forget(uuid);
    return digest.toStdString();
}

void RunningChecksums::forget(const std::string& uuid) {
    const auto found = entries_.find(uuid);
    if (found == entries_.end()) return;
    pendingBytes_ -= found->second.pending.size();
    entries_.erase(found);
}

}  // namespace zorva::plugin
