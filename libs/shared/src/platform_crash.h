#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The crash section of the platform layer: fatal signals, and the few
// operations a crash handler may use. Everything marked "crash path" is
// async-signal-safe: no allocation, no locks, no stdio.
namespace zorva::plugin::platform::crash {

// The registers of the faulting thread (x86-64).
struct Registers {
    std::uint64_t rip, rsp, rbp, rflags;
    std::uint64_t rax, rbx, rcx, rdx, rsi, rdi;
    std::uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    std::uint16_t cs, ss, ds, es, fs, gs;
};

// The record of one fatal signal, in the terms a Windows exception record
// uses, so that the report reads the same on every platform.
struct Fault {
    static constexpr std::size_t maxParameters = 15;

    std::uint32_t code;     // the exception code that stands for the signal
    std::uint64_t address;  // the instruction that faulted
    std::size_t parameterCount;
    std::uint64_t parameters[maxParameters];  // access violation: 0 read / 1 write, address
    std::uint64_t threadId;
    Registers registers;
};

// Called on the faulting thread, on an alternate stack, once per process:
// a second faulting thread waits until the first one has ended the process.
using Handler = void (*)(const Fault& fault);

// Takes SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT. After the handler the
// signal is raised again with its default action, so the process dies as it
// would have without us. The previous actions are kept for `removeHandler`.
void installHandler(Handler handler);
void removeHandler();

// Gives the calling thread an alternate signal stack of its own, so that a
// crash report is written even when the thread's stack overflowed; freed when
// the thread ends. Every thread the host or a module starts calls it first.
// A thread that has one already keeps it.
void prepareThread();

// Files.

// Opens the file for reading and writing, creating it, and keeps it only when
// it is empty and no other process holds it. Returns the descriptor, or -1.
int openEmptyFile(const std::string& path);
// Closes a file of `openEmptyFile`, removing it when nothing was written.
void closeAndRemoveIfEmpty(int descriptor, const std::string& path);

constexpr int standardOutput = 1;
constexpr int standardError = 2;

// Crash path.
void writeText(int descriptor, const char* text, std::size_t size);
void writeText(int descriptor, const char* text);
void closeFile(int descriptor);
// The calling thread's return addresses with their symbols, one a line.
void writeBacktrace(int descriptor);

// System log.

// One record for the system log, made before any crash: the user facility,
// error severity, the identifier and the process id.
std::string systemLogRecord(const std::string& identifier, const std::string& text);
// Crash path. Does nothing when no system log listens.
void sendToSystemLog(const std::string& record);

}  // namespace zorva::plugin::platform::crash
