#include "crash_report.h"

#include <algorithm>
#include <initializer_list>

namespace zorva::plugin::crash_report {
namespace {

using platform::crash::CodeLocation;
using platform::crash::Fault;
using platform::crash::Registers;

constexpr std::uint32_t accessViolation = 0xC0000005;

struct CodeName {
    std::uint32_t code;
    const char* name;
};

constexpr CodeName codeNames[] = {
    {0x80000001, "GUARD_PAGE_VIOLATION"},
    {0x80000002, "DATATYPE_MISALIGNMENT"},
    {0x80000003, "BREAKPOINT"},
    {0x80000004, "SINGLE_STEP"},
    {0xC0000005, "ACCESS_VIOLATION"},
    {0xC0000006, "IN_PAGE_ERROR"},
    {0xC0000008, "INVALID_HANDLE"},
    {0xC000001D, "ILLEGAL_INSTRUCTION"},
    {0xC0000025, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026, "INVALID_DISPOSITION"},
    {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "FLOAT_DENORMAL_OPERAND"},
    {0xC000008E, "FLOAT_DIVIDE_BY_ZERO"},
    {0xC000008F, "FLOAT_INEXACT_RESULT"},
    {0xC0000090, "FLOAT_INVALID_OPERATION"},
    {0xC0000091, "FLOAT_OVERFLOW"},
    {0xC0000092, "FLOAT_STACK_CHECK"},
    {0xC0000093, "FLOAT_UNDERFLOW"},
    {0xC0000094, "INTEGER_DIVIDE_BY_ZERO"},
    {0xC0000095, "INTEGER_OVERFLOW"},
    {0xC0000096, "PRIVILEGED_INSTRUCTION"},
    {0xC00000FD, "STACK_OVERFLOW"},
    {0xE06D7363, "MSVC_CPP"},
};

// Text in a fixed buffer; what does not fit is dropped.
class Text {
public:
    Text(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    Text& operator<<(const char* text) {
        while (*text) put(*text++);
        return *this;
    }

    // Upper-case hexadecimal, zero-padded to the digits given.
    Text& hex(std::uint64_t value, int digits) {
        char reversed[16];
        int count = 0;
        do {
            reversed[count++] = "0123456789ABCDEF"[value % 16];
            value /= 16;
        } while (value != 0);
        for (int pad = digits - count; pad > 0; --pad) put('0');
        while (count > 0) put(reversed[--count]);
        return *this;
    }

    std::size_t size() const { return size_; }

private:
    void put(char c) {
        if (size_ < capacity_) buffer_[size_++] = c;
    }

    char* buffer_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

// One label and value of the register listing.
struct Field {
    const char* label;
    std::uint64_t value;
    int digits;
};

void writeFields(Text& text, std::initializer_list<Field> fields) {
    for (const Field& field : fields) (text << field.label).hex(field.value, field.digits);
}

void writeLocation(Text& text, const CodeLocation& location) {
    text.hex(location.segment, 0) << ":";
    text.hex(location.offset, 8) << "    " << location.file;
}

// An access violation tells the kind of access and the address it touched.
void writeAccess(Text& text, const Fault& fault) {
    const std::size_t count = fault.parameterCount;
    if (count == 0) return;
    text << (fault.parameters[0] == 0 ? " (READ AT " : " (WRITE TO ");
    if (count >= 2) (text << "0x").hex(fault.parameters[1], 16);
    text << ")\r\nADD PARAMETERS: ";
    for (std::size_t index = 0; index < std::min(count, Fault::maxParameters); ++index) {
        if (index > 0) text << ", ";
        (text << "0x").hex(fault.parameters[index], 16);
    }
    text << "\r\n";
}

void writeRegisters(Text& text, const Registers& r) {
    text << "\r\nPROCESSOR REGISTERS:\r\n-----\r\n";
    writeFields(text, {{"CS:RIP = ", r.cs, 4},         {":", r.rip, 16},
                       {"\r\nSS:RSP = ", r.ss, 4},     {":", r.rsp, 16},
                       {"\r\nEFLAGS = ", r.rflags, 8}, {"\r\nRBP    = ", r.rbp, 16},
                       {"\r\nRAX = ", r.rax, 16},      {"; RBX = ", r.rbx, 16},
                       {"; RCX = ", r.rcx, 16},        {"\r\nRDX = ", r.rdx, 16},
                       {"; RSI = ", r.rsi, 16},        {"; RDI = ", r.rdi, 16},
                       {"\r\nR8  = ", r.r8, 16},       {"; R9  = ", r.r9, 16},
                       {"; R10 = ", r.r10, 16},        {"\r\nR11 = ", r.r11, 16},
                       {"; R12 = ", r.r12, 16},        {"; R13 = ", r.r13, 16},
                       {"\r\nR14 = ", r.r14, 16},      {"; R15 = ", r.r15, 16},
                       {"\r\nDS = ", r.ds, 4},         {"; ES = ", r.es, 4},
                       {"\r\nFS = ", r.fs, 4},         {"; GS = ", r.gs, 4}});
    text << "\r\n";
}

}  // namespace

const char* exceptionName(std::uint32_t code) {
    for (const CodeName& entry : codeNames)
        if (entry.code == code) return entry.name;
    return "";
}

std::size_t format(const Fault& fault, const CodeLocation* location, char* buffer,
                   std::size_t capacity) {
    Text text(buffer, capacity);
    text << "=========================== Start of dump ====================================="
            "\r\n";
    text << "\r\nFAULT ADDRESS : 0x";
    text.hex(fault.address, 16) << " ";
    if (location) writeLocation(text, *location);
    text << "\r\nEXCEPTION CODE: 0x";
    text.hex(fault.code, 8) << " " << exceptionName(fault.code);
    if (fault.code == accessViolation) writeAccess(text, fault);
    text << "\r\nTHREAD ID: ";
    text.hex(fault.threadId, 8) << "\r\n";
    writeRegisters(text, fault.registers);
    return text.size();
}

}  // namespace zorva::plugin::crash_report
