#include "log_format.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/detail/default_attribute_names.hpp>
#include <boost/log/trivial.hpp>

#include <cstdint>
#include <cstdio>
#include <string>

namespace zorva::plugin::log {
namespace {

namespace logging = boost::log;
namespace names = boost::log::aux::default_attribute_names;

// The date and clock of one second: "2026-12-08 15:10:40". A writer formats
// many records within a second and reuses it.
struct SecondText {
    std::int64_t second = -1;  // since the epoch of the calendar
    char text[24] = {};
    int length = 0;
};

const SecondText& secondText(const boost::posix_time::ptime& time) {
    thread_local SecondText cached;
    const auto date = time.date();
    const auto clock = time.time_of_day();
    const std::int64_t second = std::int64_t(date.day_number()) * 86400 + clock.total_seconds();
    if (second == cached.second) return cached;
    cached.second = second;
    cached.length =
        std::snprintf(cached.text, sizeof cached.text, "%04d-%02d-%02d %02d:%02d:%02d",
                      static_cast<int>(date.year()), static_cast<int>(date.month()),
                      static_cast<int>(date.day()), static_cast<int>(clock.hours()),
                      static_cast<int>(clock.minutes()), static_cast<int>(clock.seconds()));
    return cached;
}

// As Boost.Log writes a time stamp: 2026-12-08 15:10:40.655551.
void putTimeStamp(const logging::record_view& record, logging::formatting_ostream& out) {
    const auto value = logging::extract<boost::posix_time::ptime>(names::timestamp(), record);
    if (!value || value->is_special()) return;
    const SecondText& second = secondText(*value);
    char fraction[7] = {'.'};
    auto micro = static_cast<std::uint32_t>(value->time_of_day().fractional_seconds());
    for (int i = 6; i > 0; --i, micro /= 10) fraction[i] = static_cast<char>('0' + micro % 10);
    out.write(second.text, second.length);
    out.write(fraction, sizeof fraction);
}

// An attribute as the format strings print it; nothing when the record has none.
template <class Value>
void put(const logging::record_view& record, const logging::attribute_name& name,
         logging::formatting_ostream& out) {
    if (const auto value = logging::extract<Value>(name, record)) out << *value;
}

using ThreadId = logging::attributes::current_thread_id::value_type;

}  // namespace

void formatConsoleLine(const logging::record_view& record, logging::formatting_ostream& out) {
    putTimeStamp(record, out);
    out << " {";
    put<ThreadId>(record, names::thread_id(), out);
    out << "} <";
    put<logging::trivial::severity_level>(record, names::severity(), out);
    out << ">: ";
    put<std::string>(record, names::message(), out);
}

void formatFileLine(const logging::record_view& record, logging::formatting_ostream& out) {
    out << '[';
    putTimeStamp(record, out);
    out << "] {";
    put<ThreadId>(record, names::thread_id(), out);
    out << "}: ";
    put<std::string>(record, names::message(), out);
}

}  // namespace zorva::plugin::log
