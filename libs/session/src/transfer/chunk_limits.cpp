#include "chunk_limits.h"

#include "config.h"
#include "logging.h"
#include "path_registry.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <string>

namespace zorva::plugin {

namespace {

constexpr const char* limitPrefix = "chunks.";
// A century: longer idle times mean never, and would overflow the clock.
constexpr std::uintmax_t maxIdleSeconds = 3155760000;

std::map<std::string, std::uintmax_t*> limitFields(ChunkLimits& limits,
                                                   std::uintmax_t& idleSeconds) {
    return {{"transfers", &limits.transfers}, {"chunks", &limits.chunks},
            {"bytes", &limits.bytes},         {"memory", &limits.memory},
            {"payload", &limits.payload},     {"idle", &idleSeconds}};
}

// A limit is a plain decimal number: "16", never "16k", "-1" or "".
bool parseLimit(const std::string& text, std::uintmax_t& value) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return true;
}

void applyEntry(const format::Config::Meta& entry, std::map<std::string, std::uintmax_t*>& fields) {
    const std::string& category = entry.format.category;
    if (entry.format.type != "core" || category.rfind(limitPrefix, 0) != 0) return;
    const auto field = fields.find(category.substr(std::char_traits<char>::length(limitPrefix)));
    if (field == fields.end() || !parseLimit(entry.data, *field->second)) {
        PLUGIN_LOG(warning) << "chunk store: limit ignored: " << category << " \"" << entry.data
                            << "\"";
        return;
    }
    PLUGIN_LOG(info) << "chunk store: limit " << category << ": " << entry.data;
}

ChunkLimits readLimits() {
    ChunkLimits limits;
    std::uintmax_t idleSeconds = static_cast<std::uintmax_t>(limits.idle.count());
    try {
        std::ifstream input(path_registry::currentConfigFile().string(), std::ios::binary);
        format::Config config;
        json_dto::from_stream(input, config);
        auto fields = limitFields(limits, idleSeconds);
        for (const auto& entry : config.meta) applyEntry(entry, fields);
    } catch (const std::exception& error) {
        PLUGIN_LOG(warning) << "chunk store: default limits, reason: " << error.what();
    }
    limits.idle = std::chrono::seconds(std::min(idleSeconds, maxIdleSeconds));
    return limits;
}

}  // namespace

const ChunkLimits& configuredChunkLimits() {
    static const ChunkLimits limits = readLimits();
    return limits;
}

}  // namespace zorva::plugin
