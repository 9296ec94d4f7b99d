#pragma once

#include "platform_crash.h"
#include "platform_signal_task.h"

#include <boost/filesystem/path.hpp>

#include <memory>
#include <optional>
#include <string>

namespace Loki {
template <class T>
struct CreateUsingNew;
}

namespace zorva::plugin {

// Writes a report and a dump of the first fatal signal of the process into
// the dump directory, then tells the user where the dump lies. The process
// still dies of the signal as it would have without the dumper.
//
// One per process: created on first use, which takes the fatal signals, and
// destroyed at exit in Loki's longevity order, which gives them back and
// removes the files that no crash filled.
class CrashDumper {
public:
    // What follows a written crash.
    enum class Notification {
        none = 1,
        messageBox = 2,      // caption and text on standard error
        standardOutput = 3,  // text on standard output
        eventLog = 4,        // text in the system log under the event source
    };

    enum class InitResult {
        ok = 0,
        alreadyInitialised = 1,
        invalidArguments = 2,  // no template, or no caption or event source for the mode
        dumpFileFailed = 5,
        reportFileFailed = 6,
    };

    CrashDumper(const CrashDumper&) = delete;
    CrashDumper& operator=(const CrashDumper&) = delete;

    // Raises std::logic_error "Dead Reference Detected" once destroyed at exit.
    static CrashDumper& instance();

    // The host's install step: files of "plugin" in the path registry's dump
    // directory, a message box on a crash, log records written out before the
    // report. Raises the path registry's error
    // when there is no dump directory; the result needs no action.
    static InitResult install();

    void setCaption(std::string caption);
    // The system log identifier of the event-log notification.
    void setEventSource(std::string identifier);

    // Creates the dump and report files named
    // "<directory>/<application>.<version>.<index>.nrv.<dmp|err>" with the
    // first index of 0..99 free for this run. "%s" in the template stands for
    // the dump file's path. The directory is removed at exit when asked and
    // left empty.
    InitResult init(const std::string& applicationName,
                    const boost::filesystem::path& dumpDirectory,
                    const std::string& notificationTemplate, Notification mode,
                    bool removeDirectory);

private:
    friend struct Loki::CreateUsingNew<CrashDumper>;

    // A file open for the whole run; a descriptor of -1 stands for none.
    struct File {
        int descriptor = -1;
        std::string path;
    };

    CrashDumper();
    ~CrashDumper();

    static void onCrash(const platform::crash::Fault& fault);
    void flushLogs() const;
    void writeReport(const platform::crash::Fault& fault);
    void writeDump();
    void notify() const;

    bool argumentsFit(const std::string& notificationTemplate, Notification mode) const;
    std::string notificationRecord(Notification mode, const std::string& text) const;
    static File createFile(const std::string& namePrefix, const char* extension);
    static void close(File& file);

    std::optional<Notification> mode_;  // set once initialised
    bool removeDirectory_ = false;
    std::string caption_;
    std::string eventSource_;
    std::string directory_;
    File dump_;
    File report_;
    std::string notification_;  // made at initialisation: a crash may not allocate
    // The log sinks write on threads of their own; none when not installed.
    std::unique_ptr<platform::SignalSafeTask> logFlush_;
};

}  // namespace zorva::plugin
