#include "platform_crash.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

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

constexpr char systemLogSocket[] = "/dev/log";

// x86 page faults: the trap number, and the error-code bit of a write.
constexpr greg_t pageFaultTrap = 14;
constexpr greg_t pageFaultWrite = 0x2;

std::atomic<Handler> crashHandler{nullptr};
std::atomic<bool> crashTaken{false};
struct sigaction previousActions[fatalSignalCount];

// The faulting thread's own stack may be what overflowed.
constexpr std::size_t alternateStackSize = 128 * 1024;

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

// Signals go to the alternate stack of the thread that faults: each thread
// needs one. Taken off before it is freed, at the thread's end.
class AlternateStack {
public:
    AlternateStack() {
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
        memory_ = std::make_unique<char[]>(alternateStackSize);
        stack_t stack{};
        stack.ss_sp = memory_.get();
        stack.ss_size = alternateStackSize;
        if (::sigaltstack(&stack, nullptr) != 0) memory_.reset();
    }

    ~AlternateStack() {
        if (!memory_) return;
        stack_t disabled{};
        disabled.ss_flags = SS_DISABLE;
        ::sigaltstack(&disabled, nullptr);
    }

    AlternateStack(const AlternateStack&) = delete;
    AlternateStack& operator=(const AlternateStack&) = delete;

private:
    std::unique_ptr<char[]> memory_;
};

// The first backtrace() loads the unwinder library, which must not happen
// inside a signal handler.
void loadUnwinder() {
    void* frame = nullptr;
    ::backtrace(&frame, 1);
}

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

void prepareThread() { thread_local const AlternateStack stack; }

void installHandler(Handler handler) {
    crashHandler.store(handler);
    prepareThread();
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
    std::memcpy(address.sun_path, systemLogSocket, sizeof systemLogSocket);
    if (::connect(log, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        ::send(log, record.data(), record.size(), MSG_NOSIGNAL);
    ::close(log);
}

}  // namespace zorva::plugin::platform::crash
