#include "running_checksum.h"

#include <QCryptographicHash>

#include <map>
#include <memory>
#include <mutex>

namespace zorva::plugin::running_checksum {

namespace {

struct Entry {
    std::string pending;
    QCryptographicHash md5{QCryptographicHash::Md5};
};

struct Table {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<Entry>> entries;
};

Table& table() {
    static Table instance;
    return instance;
}

}  // namespace

void feed(const std::string& uuid, const std::string& text) {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto& entry = t.entries[uuid];
    if (!entry) {
        entry = std::make_unique<Entry>();
        return;
    }
    if (!entry->pending.empty()) {
        entry->md5.addData(entry->pending.data(), static_cast<int>(entry->pending.size()));
    }
    entry->pending = text;
}

std::string take(const std::string& uuid) {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto found = t.entries.find(uuid);
    if (found == t.entries.end()) return {};
    const QByteArray digest = found->second->md5.result().toHex();
    t.entries.erase(found);
    return digest.toStdString();
}

}  // namespace zorva::plugin::running_checksum
