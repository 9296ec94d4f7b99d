#pragma once

#include <boost/log/attributes/attribute.hpp>

namespace zorva::plugin::log {

// The ThreadID attribute: the identifier of the thread that writes a record,
// made once per thread. Boost.Log's current_thread_id makes a new one for
// every record that leaves its thread, and every record goes to the sinks'
// writers.
boost::log::attribute writingThreadId();

}  // namespace zorva::plugin::log
