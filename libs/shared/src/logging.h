#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include <boost/log/core/record.hpp>
#include <boost/log/trivial.hpp>

namespace zorva::plugin::log {

// Returns once every record written so far is in the log file and on the
// console: records are written on a thread of the log's own. The set-up
// (log_setup.h) arranges a call at exit; whoever ends the process otherwise
// calls it first.
void flush();

// Whether the calling thread is inside a record's write: a crash there may
// hold the queue that a flush would wait for.
bool isWritingRecord() noexcept;

// The longest text one record carries. Longer texts are cut and end with a
// note of how much was cut: a record as long as the rotation size would make
// the file sink rotate forever.
constexpr std::size_t maxRecordSize = 1024 * 1024;

std::string capRecordText(std::string_view text);

// One record, written when the object goes out of scope. A record that no
// sink takes (below their severity) streams into nothing.
class Record {
public:
    explicit Record(boost::log::trivial::severity_level severity);
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record();

    std::ostream& stream() { return *stream_; }

private:
    boost::log::record record_;
    std::ostream* stream_ = nullptr;
};

}  // namespace zorva::plugin::log

// PLUGIN_LOG(info) << "session: set style";
#define PLUGIN_LOG(severity) ::zorva::plugin::log::Record(::boost::log::trivial::severity).stream()
