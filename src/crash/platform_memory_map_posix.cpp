#include "platform_memory_map.h"

#include "platform_crash.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

namespace zorva::plugin::platform::crash {
namespace {

ssize_t readSome(int descriptor, char* buffer, std::size_t size) {
    ssize_t count;
    do count = ::read(descriptor, buffer, size);
    while (count < 0 && errno == EINTR);
    return count;
}

// Reads a file line by line through a fixed buffer; longer lines are cut.
class LineReader {
public:
    explicit LineReader(int descriptor) : descriptor_(descriptor) {}

    bool next(char* line, std::size_t capacity) {
        std::size_t size = 0;
        for (;;) {
            if (begin_ == end_ && !fill()) {
                line[size] = '\0';
                return size > 0;
            }
            const char c = buffer_[begin_++];
            if (c == '\n') break;
            if (size + 1 < capacity) line[size++] = c;
        }
        line[size] = '\0';
        return true;
    }

private:
    bool fill() {
        const ssize_t count = readSome(descriptor_, buffer_, sizeof buffer_);
        begin_ = 0;
        end_ = count > 0 ? static_cast<std::size_t>(count) : 0;
        return end_ > 0;
    }

    int descriptor_;
    char buffer_[4096];
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// One line of /proc/self/maps: "start-end perms offset dev inode path".
struct Mapping {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t offset = 0;
    bool readable = false;
    const char* path = "";
};

const char* parseHex(const char* text, std::uint64_t& value) {
    value = 0;
    for (;; ++text) {
        const char c = *text;
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return text;
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
}

// From inside a field, or the blanks after it, to the start of the next one.
const char* nextField(const char* text) {
    while (*text && *text != ' ') ++text;
    while (*text == ' ') ++text;
    return text;
}

bool parseMapping(const char* line, Mapping& mapping) {
    const char* text = parseHex(line, mapping.start);
    if (*text != '-') return false;
    text = parseHex(text + 1, mapping.end);
    if (*text != ' ') return false;
    mapping.readable = text[1] == 'r';
    text = parseHex(nextField(text + 1), mapping.offset);
    mapping.path = nextField(nextField(nextField(text)));
    return true;
}

const Elf64_Phdr* firstLoadSegment(const Elf64_Phdr* headers, std::size_t count) {
    const auto* found = std::find_if(headers, headers + count, [](const Elf64_Phdr& header) {
        return header.p_type == PT_LOAD;
    });
    return found == headers + count ? nullptr : found;
}

// The program headers of the ELF file mapped at the base, when they lie in
// that first mapping, as the loader keeps them.
const Elf64_Phdr* programHeaders(const Mapping& base, std::size_t& count) {
    const std::uint64_t size = base.end - base.start;
    if (!base.readable || size < sizeof(Elf64_Ehdr)) return nullptr;
    const auto* header = reinterpret_cast<const Elf64_Ehdr*>(base.start);
    if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
        header->e_ident[EI_CLASS] != ELFCLASS64 || header->e_phentsize != sizeof(Elf64_Phdr) ||
        header->e_phoff + std::uint64_t{header->e_phnum} * sizeof(Elf64_Phdr) > size)
        return nullptr;
    count = header->e_phnum;
    return reinterpret_cast<const Elf64_Phdr*>(base.start + header->e_phoff);
}

bool locateSegment(std::uint64_t address, const Mapping& base, CodeLocation& location) {
    std::size_t count = 0;
    const Elf64_Phdr* headers = programHeaders(base, count);
    const Elf64_Phdr* first = headers ? firstLoadSegment(headers, count) : nullptr;
    if (!first) return false;
    // The base mapping holds file offset 0; segment addresses are relative to
    // where that offset would lie.
    const std::uint64_t relative = address - (base.start - (first->p_vaddr - first->p_offset));
    for (std::size_t index = 0; index < count; ++index) {
        const Elf64_Phdr& header = headers[index];
        const std::uint64_t size = std::max(header.p_filesz, header.p_memsz);
        if (header.p_type != PT_LOAD || relative < header.p_vaddr ||
            relative >= header.p_vaddr + size)
            continue;
        location.segment = static_cast<std::uint32_t>(index + 1);
        location.offset = relative - header.p_vaddr;
        return true;
    }
    return false;
}

void copyText(char* target, std::size_t capacity, const char* source) {
    std::strncpy(target, source, capacity - 1);
    target[capacity - 1] = '\0';
}

bool locateInMaps(LineReader& maps, std::uint64_t address, CodeLocation& location) {
    char line[1024];
    Mapping base;
    char basePath[sizeof location.file] = "";
    while (maps.next(line, sizeof line)) {
        Mapping mapping;
        if (!parseMapping(line, mapping) || mapping.path[0] != '/') continue;
        if (mapping.offset == 0) {
            base = mapping;
            copyText(basePath, sizeof basePath, mapping.path);
        }
        if (address < mapping.start || address >= mapping.end) continue;
        if (std::strncmp(basePath, mapping.path, sizeof basePath - 1) != 0) return false;
        copyText(location.file, sizeof location.file, mapping.path);
        return locateSegment(address, base, location);
    }
    return false;
}

int openMemoryMap() { return ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC); }

}  // namespace

bool locateCode(std::uint64_t address, CodeLocation& location) {
    const int descriptor = openMemoryMap();
    if (descriptor < 0) return false;
    LineReader maps(descriptor);
    const bool found = locateInMaps(maps, address, location);
    ::close(descriptor);
    return found;
}

void writeMemoryMap(int descriptor) {
    const int maps = openMemoryMap();
    if (maps < 0) return;
    char buffer[4096];
    for (ssize_t count; (count = readSome(maps, buffer, sizeof buffer)) > 0;)
        writeText(descriptor, buffer, static_cast<std::size_t>(count));
    ::close(maps);
}

}  // namespace zorva::plugin::platform::crash
