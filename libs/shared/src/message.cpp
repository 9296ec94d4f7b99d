#include "message.h"

#include <cstdio>

#include <boost/date_time/posix_time/posix_time.hpp>

namespace zorva::plugin::format {

void keepRawText(Message& request, const std::string& text) {
    const auto content = request.meta.data.find("messageContent");
    if (content != request.meta.data.end()) content->second = text;
}

std::string routeTime() {
    const auto now = boost::posix_time::second_clock::local_time();
    const auto date = now.date();
    const auto time = now.time_of_day();
    char text[32];
    std::snprintf(text, sizeof text, "%02u.%02u.%04u, %02ld:%02ld:%02ld",
                  static_cast<unsigned>(date.day()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.year()), static_cast<long>(time.hours()),
                  static_cast<long>(time.minutes()), static_cast<long>(time.seconds()));
    return text;
}

}  // namespace zorva::plugin::format
