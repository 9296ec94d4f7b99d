#pragma once

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/trivial.hpp>
#include <boost/make_shared.hpp>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Collects the records written while it exists, with their severities.
class LogCapture {
public:
    using Severity = boost::log::trivial::severity_level;
    using Record = std::pair<Severity, std::string>;

    LogCapture()
        : backend_(boost::make_shared<Backend>()),
          sink_(boost::make_shared<boost::log::sinks::synchronous_sink<Backend>>(backend_)) {
        boost::log::core::get()->add_sink(sink_);
    }
    ~LogCapture() { boost::log::core::get()->remove_sink(sink_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Record> records() const { return backend_->records(); }

    // The texts whose prefix is given, in order, without their severities.
    std::vector<std::string> texts(const std::string& prefix = std::string()) const {
        std::vector<std::string> found;
        for (const auto& record : records())
            if (record.second.compare(0, prefix.size(), prefix) == 0)
                found.push_back(record.second);
        return found;
    }

    bool contains(Severity severity, const std::string& text) const {
        for (const auto& record : records())
            if (record == Record{severity, text}) return true;
        return false;
    }

private:
    class Backend
        : public boost::log::sinks::basic_sink_backend<boost::log::sinks::synchronized_feeding> {
    public:
        void consume(const boost::log::record_view& record) {
            const auto severity =
                boost::log::extract_or_default<Severity>("Severity", record, Severity::trace);
            const auto message =
                boost::log::extract_or_default<std::string>("Message", record, std::string());
            std::lock_guard<std::mutex> lock(mutex_);
            records_.emplace_back(severity, message);
        }
        std::vector<Record> records() const {
            std::lock_guard<std::mutex> lock(mutex_);
            return records_;
        }

    private:
        mutable std::mutex mutex_;
        std::vector<Record> records_;
    };

    boost::shared_ptr<Backend> backend_;
    boost::shared_ptr<boost::log::sinks::synchronous_sink<Backend>> sink_;
};
