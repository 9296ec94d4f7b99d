#include "message.h"

#include <ctime>

#include <boost/date_time/c_time.hpp>

namespace zorva::plugin::format {

void keepRawText(Message& request, const std::string& text) {
    const auto content = request.meta.data.find("messageContent");
    if (content != request.meta.data.end()) content->second = text;
}

std::string routeTime() {
    // Every reply asks; the local time's conversion takes a process-wide lock.
    thread_local std::time_t lastSecond = -1;
    thread_local std::string lastText;
    const std::time_t second = std::time(nullptr);
    if (second == lastSecond) return lastText;
    std::tm local{};
    boost::date_time::c_time::localtime(&second, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%Y, %H:%M:%S", &local);
    lastSecond = second;
    lastText = text;
    return lastText;
}

}  // namespace zorva::plugin::format
