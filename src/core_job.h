#pragma once

#include <boost/shared_ptr.hpp>

#include <stdexcept>

namespace zorva::plugin {

class Session;

// The selected protocol could not serve, for instance because its port is
// taken: the resident host is of no use, and must not end as a success.
class ProtocolFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The host's one background job: answers the request of the command line,
// or serves the selected protocol until the browser side goes away.
class CoreJob {
public:
    explicit CoreJob(boost::shared_ptr<Session> session);

    void operator()() const;

private:
    bool answerRequestFile() const;
    bool answerAlgorithmsRequest() const;
    void runProtocol() const;

    boost::shared_ptr<Session> session_;
};

}  // namespace zorva::plugin
