#pragma once

#include "message.h"

// Requests a command line asks the host to answer once instead of serving a
// browser. Both read the process arguments again with a parser of their own,
// so any other option on the command line means there is no such request.
namespace zorva::plugin {

// The request in the file of the request option. A missing or unreadable
// file still gives a message, with its error text set: the reply then shows
// what went wrong.
format::MessagePtr requestFromFile();

// The algorithms request for the provider named after the algorithms option.
format::MessagePtr algorithmsRequest();

}  // namespace zorva::plugin
