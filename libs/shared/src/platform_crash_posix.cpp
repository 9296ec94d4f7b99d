#include "platform_crash.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <elf.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <ucontext.h>
#include <unistd.h>

#if !defined(__x86_64__)
#error "the crash report reads x86-64 registers"
#endif

namespace zorva::plugin::platform::crash {
namespace {

constexpr int fatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT};
constexpr std::size_t fatalSignalCount = sizeof fatalSignals / sizeof fatalSignals[0];

// The exception codes a Windows build reports for the same faults.
constexpr int anyCode = 0;
struct SignalCode {
    int signal;
    int siCode;
    std::uint32_t code;
};
constexpr SignalCode signalCodes[] = {
    {SIGSEGV, anyCode, 0xC0000005},
    {SIGBUS, anyCode, 0xC0000006},
    {SIGILL, anyCode, 0xC000001D},
    {SIGTRAP, anyCode, 0x80000003},
    // An uncaught C++ exception ends in abort().
    {SIGABRT, anyCode, 0xE06D7363},
    {SIGFPE, FPE_INTDIV, 0xC0000094},
    {SIGFPE, FPE_INTOVF, 0xC0000095},
    {SIGFPE, FPE_FLTDIV, 0xC000008E},
    {SIGFPE, FPE_FLTOVF, 0xC0000091},
    {SIGFPE, FPE_FLTUND, 0xC0000093},
    {SIGFPE, FPE_FLTRES, 0xC000008F},
    {SIGFPE, FPE_FLTINV, 0xC0000090},
};

// x86 page faults: the trap number, and the error-code bit of a write.
constexpr greg_t pageFaultTrap = 14;
constexpr greg_t pageFaultWrite = 0x2;

std::atomic<Handler> crashHandler{nullptr};
std::atomic<bool> crashTaken{false};
struct sigaction previousActions[fatalSignalCount];

// The faulting thread's own stack may be what overflowed.
alignas(16) char alternateStack[128 * 1024];

std::uint32_t exceptionCode(int signal, int siCode) {
    for (const auto& entry : signalCodes)
        if (entry.signal == signal && (entry.siCode == anyCode || entry.siCode == siCode))
            return entry.code;
    return 0;
}

std::uint16_t selector(greg_t packed, int index) {
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(packed) >> (16 * index));
}

Registers registersOf(const ucontext_t& context) {
    const greg_t* r = context.uc_mcontext.gregs;
    const auto u = [r](int index) { return static_cast<std::uint64_t>(r[index]); };
    Registers registers{u(REG_RIP), u(REG_RSP), u(REG_RBP), u(REG_EFL), u(REG_RAX), u(REG_RBX),
                        u(REG_RCX), u(REG_RDX), u(REG_RSI), u(REG_RDI), u(REG_R8),  u(REG_R9),
                        u(REG_R10), u(REG_R11), u(REG_R12), u(REG_R13), u(REG_R14), u(REG_R15)};
    // CS, GS, FS and SS are packed in one slot; DS and ES are not saved, but
    // signal delivery leaves them as they were.
    registers.cs = selector(r[REG_CSGSFS], 0);
    registers.gs = selector(r[REG_CSGSFS], 1);
    registers.fs = selector(r[REG_CSGSFS], 2);
    registers.ss = selector(r[REG_CSGSFS], 3);
    asm volatile("mov %%ds, %0\n\tmov %%es, %1" : "=r"(registers.ds), "=r"(registers.es));
    return registers;
}

Fault faultOf(int signal, const siginfo_t& info, const ucontext_t& context) {
    Fault fault{};
    fault.code = exceptionCode(signal, info.si_code);
    fault.address = static_cast<std::uint64_t>(context.uc_mcontext.gregs[REG_RIP]);
    // Only a fault the kernel raised has an address; kill() sends none.
    if (signal == SIGSEGV && info.si_code > 0) {
        const greg_t* r = context.uc_mcontext.gregs;
        const bool write = r[REG_TRAPNO] == pageFaultTrap && (r[REG_ERR] & pageFaultWrite) != 0;
        fault.parameterCount = 2;
        fault.parameters[0] = write ? 1 : 0;
        fault.parameters[1] = reinterpret_cast<std::uintptr_t>(info.si_addr);
    }
    fault.threadId = static_cast<std::uint64_t>(::gettid());
    fault.registers = registersOf(context);
    return fault;
}

void endWithDefaultAction(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    // Blocked while the handler runs: delivered as soon as it returns.
    ::raise(signal);
}

void onSignal(int signal, siginfo_t* info, void* context) {
    if (crashTaken.exchange(true)) {
        // Another thread is writing its crash; its signal ends the process.
        for (;;) ::pause();
    }
    if (const Handler handler = crashHandler.load())
        handler(faultOf(signal, *info, *static_cast<const ucontext_t*>(context)));
    endWithDefaultAction(signal);
}

void useAlternateStack() {
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);
}

// The first backtrace() loads the unwinder library, which must not happen
// inside a signal handler.
void loadUnwinder() {
    void* frame = nullptr;
    ::backtrace(&frame, 1);
}

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

bool isEmptyFile(int descriptor) {
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 && status.st_size == 0;
}

// A file removed by its last holder between our open and our lock is no
// longer the file of that name.
bool isStillNamed(int descriptor, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(descriptor, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

void installHandler(Handler handler) {
    crashHandler.store(handler);
    useAlternateStack();
    loadUnwinder();
    struct sigaction action {};
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A fault inside the handler then ends the process at once.
    ::sigemptyset(&action.sa_mask);
    for (const int signal : fatalSignals) ::sigaddset(&action.sa_mask, signal);
    for (std::size_t index = 0; index < fatalSignalCount; ++index)
        ::sigaction(fatalSignals[index], &action, &previousActions[index]);
}

void removeHandler() {
    for (std::size_t index = 0; index < fatalSignalCount; ++index)
        ::sigaction(fatalSignals[index], &previousActions[index], nullptr);
    crashHandler.store(nullptr);
}

bool locateCode(std::uint64_t address, CodeLocation& location) {
    const int descriptor = openMemoryMap();
    if (descriptor < 0) return false;
    LineReader maps(descriptor);
    const bool found = locateInMaps(maps, address, location);
    ::close(descriptor);
    return found;
}

int openEmptyFile(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) return -1;
    // The lock stands for the Windows build's exclusive open: another
    // running instance keeps its files.
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && isEmptyFile(descriptor) &&
        isStillNamed(descriptor, path))
        return descriptor;
    ::close(descriptor);
    return -1;
}

void closeAndRemoveIfEmpty(int descriptor, const std::string& path) {
    // Removed while still locked, so no other process can take it meanwhile.
    if (isEmptyFile(descriptor)) ::unlink(path.c_str());
    ::close(descriptor);
}

void writeText(int descriptor, const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor, text, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

void writeText(int descriptor, const char* text) { writeText(descriptor, text, std::strlen(text)); }

void closeFile(int descriptor) { ::close(descriptor); }

void writeBacktrace(int descriptor) {
    void* frames[64];
    ::backtrace_symbols_fd(frames, ::backtrace(frames, 64), descriptor);
}

void writeMemoryMap(int descriptor) {
    const int maps = openMemoryMap();
    if (maps < 0) return;
    char buffer[4096];
    for (ssize_t count; (count = readSome(maps, buffer, sizeof buffer)) > 0;)
        writeText(descriptor, buffer, static_cast<std::size_t>(count));
    ::close(maps);
}

std::string systemLogRecord(const std::string& identifier, const std::string& text) {
    return "<" + std::to_string(LOG_USER | LOG_ERR) + ">" + identifier + "[" +
           std::to_string(::getpid()) + "]: " + text;
}

void sendToSystemLog(const std::string& record) {
    // syslog() formats and locks; the socket calls are safe in a handler.
    const int log = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (log < 0) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    copyText(address.sun_path, sizeof address.sun_path, "/dev/log");
    if (::connect(log, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        ::send(log, record.data(), record.size(), MSG_NOSIGNAL);
    ::close(log);
}

}  // namespace zorva::plugin::platform::crash
