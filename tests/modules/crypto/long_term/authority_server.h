#pragma once

// A test authority on 127.0.0.1 in a process of its own: a Python script
// that prints "listening PORT" once it accepts, ended with the object.

#include <boost/asio/ip/tcp.hpp>
#include <boost/process.hpp>

#include <stdexcept>
#include <string>
#include <vector>

class AuthorityServer {
public:
    AuthorityServer(const std::string& script, const std::vector<std::string>& arguments)
        : child_(boost::process::search_path("python3", {"/usr/bin"}), script,
                 boost::process::args(arguments), boost::process::std_out > output_) {
        std::string word;
        if (!(output_ >> word >> port_) || word != "listening")
            throw std::runtime_error(script + " did not start");
    }
    ~AuthorityServer() {
        std::error_code ignored;
        child_.terminate(ignored);
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    int port() const { return port_; }

    // A URL where nothing listens: a port the system gave and took back.
    static std::string closedUrl() {
        boost::asio::io_context context;
        boost::asio::ip::tcp::acceptor acceptor(context,
                                                {boost::asio::ip::make_address("127.0.0.1"), 0});
        return "http://127.0.0.1:" + std::to_string(acceptor.local_endpoint().port()) + "/";
    }

private:
    boost::process::ipstream output_;
    boost::process::child child_;
    int port_ = 0;
};
