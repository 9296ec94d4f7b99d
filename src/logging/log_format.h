#pragma once

#include <boost/log/core/record_view.hpp>
#include <boost/log/utility/formatting_ostream.hpp>

// The console and file lines of a record, formatted by hand: the texts of
// the format strings "%TimeStamp% {%ThreadID%} <%Severity%>: %Message%"
// (console) and "[%TimeStamp%] {%ThreadID%}: %Message%" (file), without
// looking the attributes up by name and streaming the time through locale
// facets for every record.
namespace zorva::plugin::log {

void formatConsoleLine(const boost::log::record_view& record, boost::log::formatting_ostream& out);
void formatFileLine(const boost::log::record_view& record, boost::log::formatting_ostream& out);

}  // namespace zorva::plugin::log
