#pragma once

#include <ostream>
#include <string>

#include <boost/log/core/record_view.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/text_file_backend.hpp>
#include <boost/log/utility/formatting_ostream.hpp>
#include <boost/shared_ptr.hpp>

namespace zorva::plugin::log {

// Writes each record as a console line and as a line of the log file, so
// that one sink queues and takes a record once for both. Console lines are
// gathered and handed to the console in one write when flushed, once per
// batch of records, or sooner once they fill a buffer. Each line ends with
// one line feed, added where the text has none.
class LogLines
    : public boost::log::sinks::basic_sink_backend<boost::log::sinks::combine_requirements<
          boost::log::sinks::synchronized_feeding, boost::log::sinks::flushing>::type> {
public:
    // Without a console (nullptr), lines go to the file only; without a
    // file (nullptr), to the console only.
    LogLines(std::ostream* console, boost::shared_ptr<boost::log::sinks::text_file_backend> file);

    void consume(const boost::log::record_view& record);
    void flush();

private:
    // The console lines gathered before they are written; larger buffers,
    // left by long records, are given back after use.
    static constexpr std::size_t keptBytes = 64 * 1024;

    void writeConsole();

    std::ostream* console_;
    std::string consoleText_;
    boost::log::formatting_ostream consoleLines_{consoleText_};
    boost::shared_ptr<boost::log::sinks::text_file_backend> file_;
    std::string fileLine_;
    boost::log::formatting_ostream fileLineStream_{fileLine_};
};

}  // namespace zorva::plugin::log
