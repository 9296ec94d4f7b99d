#include "log_format.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/detail/default_attribute_names.hpp>
#include <boost/log/trivial.hpp>

#include <cstdio>
#include <string>

namespace zorva::plugin::log {
namespace {

namespace logging = boost::log;
namespace names = boost::log::aux::default_attribute_names;

// As Boost.Log writes a time stamp: 2026-12-08 15:10:40.655551.
void putTimeStamp(const logging::record_view& record, logging::formatting_ostream& out) {
    const auto value = logging::extract<boost::posix_time::ptime>(names::timestamp(), record);
    if (!value || value->is_special()) return;
    const auto date = value->date();
    const auto clock = value->time_of_day();
    char text[40];
    const int length = std::snprintf(
        text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06lld", static_cast<int>(date.year()),
        static_cast<int>(date.month()), static_cast<int>(date.day()),
        static_cast<int>(clock.hours()), static_cast<int>(clock.minutes()),
        static_cast<int>(clock.seconds()), static_cast<long long>(clock.fractional_seconds()));
    out.write(text, length);
}

void putThreadId(const logging::record_view& record, logging::formatting_ostream& out) {
    const auto id = logging::extract<logging::attributes::current_thread_id::value_type>(
        names::thread_id(), record);
    if (id) out << *id;
}

void putSeverity(const logging::record_view& record, logging::formatting_ostream& out) {
    const auto severity =
        logging::extract<logging::trivial::severity_level>(names::severity(), record);
    if (severity) out << *severity;
}

void putMessage(const logging::record_view& record, logging::formatting_ostream& out) {
    const auto message = logging::extract<std::string>(names::message(), record);
    if (message) out << *message;
}

}  // namespace

void formatConsoleLine(const logging::record_view& record, logging::formatting_ostream& out) {
    putTimeStamp(record, out);
    out << " {";
    putThreadId(record, out);
    out << "} <";
    putSeverity(record, out);
    out << ">: ";
    putMessage(record, out);
}

void formatFileLine(const logging::record_view& record, logging::formatting_ostream& out) {
    out << '[';
    putTimeStamp(record, out);
    out << "] {";
    putThreadId(record, out);
    out << "}: ";
    putMessage(record, out);
}

}  // namespace zorva::plugin::log
