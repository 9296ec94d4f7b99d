#include "log_lines.h"

#include "log_format.h"

#include <utility>

namespace zorva::plugin::log {

LogLines::LogLines(std::ostream* console,
                   boost::shared_ptr<boost::log::sinks::text_file_backend> file)
    : console_(console), file_(std::move(file)) {}

void LogLines::consume(const boost::log::record_view& record) {
    if (console_) {
        const std::size_t start = consoleText_.size();
        formatConsoleLine(record, consoleLines_);
        consoleLines_.flush();
        if (consoleText_.size() == start || consoleText_.back() != '\n') consoleText_ += '\n';
        if (consoleText_.size() >= keptBytes) writeConsole();
    }
    if (file_) {
        fileLine_.clear();
        formatFileLine(record, fileLineStream_);
        fileLineStream_.flush();
        file_->consume(record, fileLine_);
        if (fileLine_.capacity() > keptBytes) std::string().swap(fileLine_);
    }
}

void LogLines::flush() {
    if (console_ && !consoleText_.empty()) writeConsole();
    if (file_) file_->flush();
}

void LogLines::writeConsole() {
    console_->write(consoleText_.data(), static_cast<std::streamsize>(consoleText_.size()));
    console_->flush();
    consoleText_.clear();
    if (consoleText_.capacity() > 2 * keptBytes) std::string().swap(consoleText_);
}

}  // namespace zorva::plugin::log
