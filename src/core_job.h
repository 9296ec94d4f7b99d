#pragma once

#include <boost/shared_ptr.hpp>

namespace zorva::plugin {

class Session;

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
