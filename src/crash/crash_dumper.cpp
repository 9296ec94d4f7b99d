#include "crash_dumper.h"

#include "crash_report.h"
#include "logging.h"
#include "path_registry.h"
#include "platform_memory_map.h"

#include <boost/filesystem/operations.hpp>

#include <atomic>
#include <chrono>
#include <mutex>

#include <loki/Singleton.h>

namespace zorva::plugin {
namespace {

namespace crash = platform::crash;

// How long a crash waits for the queued log records: a flush that hangs (the
// crash may hold a lock the sinks need) must not cost the report.
constexpr std::chrono::milliseconds logFlushLimit{2000};

// Loki's class-level lockable does not compile with GCC 12. This one locks
// the same way over std::mutex, and keeps the instance pointer atomic, so the
// holder's unlocked first look is sound.
template <class Host, class>
struct StdMutexThreading {
    using VolatileType = std::atomic<Host>;

    struct Lock {
        std::lock_guard<std::mutex> guard{mutex()};
    };

    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
};

// The notification template takes the dump file's path in place of "%s".
std::string expand(std::string notificationTemplate, const std::string& dumpPath) {
    const auto slot = notificationTemplate.find("%s");
    if (slot != std::string::npos) notificationTemplate.replace(slot, 2, dumpPath);
    return notificationTemplate;
}

}  // namespace

// Loki's longevity policy finds this by argument-dependent lookup.
unsigned int GetLongevity(CrashDumper*) { return 9; }

namespace {

using Holder = Loki::SingletonHolder<CrashDumper, Loki::CreateUsingNew,
                                     Loki::SingletonWithLongevity, StdMutexThreading>;

}  // namespace

CrashDumper& CrashDumper::instance() { return Holder::Instance(); }

CrashDumper::InitResult CrashDumper::install() {
    const auto directory = path_registry::dumpDir();
    boost::filesystem::create_directories(directory);
    CrashDumper& dumper = instance();
    dumper.setCaption("Unexpected program exception");
    if (!dumper.logFlush_)
        dumper.logFlush_ = std::make_unique<platform::SignalSafeTask>(&log::flush);
    return dumper.init("plugin", directory, "dump location: %s", Notification::messageBox, false);
}

CrashDumper::CrashDumper() : caption_("Unexpected program exception") {
    crash::installHandler(&CrashDumper::onCrash);
}

CrashDumper::~CrashDumper() {
    crash::removeHandler();
    close(dump_);
    close(report_);
    boost::system::error_code ignored;
    // Succeeds only when nothing is left in it.
    if (removeDirectory_) boost::filesystem::remove(directory_, ignored);
}

void CrashDumper::setCaption(std::string caption) { caption_ = std::move(caption); }

void CrashDumper::setEventSource(std::string identifier) { eventSource_ = std::move(identifier); }

CrashDumper::InitResult CrashDumper::init(const std::string& applicationName,
                                          const boost::filesystem::path& dumpDirectory,
                                          const std::string& notificationTemplate,
                                          Notification mode, bool removeDirectory) {
    if (mode_) return InitResult::alreadyInitialised;
    if (!argumentsFit(notificationTemplate, mode)) return InitResult::invalidArguments;
    const std::string namePrefix =
        (dumpDirectory / (applicationName + "." + std::to_string(ZORVA_PLUGIN_VERSION_BUILD) + "."))
            .string();
    dump_ = createFile(namePrefix, "dmp");
    if (dump_.descriptor < 0) return InitResult::dumpFileFailed;
    report_ = createFile(namePrefix, "err");
    if (report_.descriptor < 0) {
        close(dump_);
        return InitResult::reportFileFailed;
    }
    notification_ = notificationRecord(mode, expand(notificationTemplate, dump_.path));
    directory_ = dumpDirectory.string();
    removeDirectory_ = removeDirectory;
    mode_ = mode;
    return InitResult::ok;
}

bool CrashDumper::argumentsFit(const std::string& notificationTemplate, Notification mode) const {
    if (mode == Notification::none) return true;
    if (notificationTemplate.empty()) return false;
    if (mode == Notification::messageBox) return !caption_.empty();
    if (mode == Notification::eventLog) return !eventSource_.empty();
    return true;
}

std::string CrashDumper::notificationRecord(Notification mode, const std::string& text) const {
    switch (mode) {
        case Notification::messageBox:
            return caption_ + ": " + text + "\n";
        case Notification::standardOutput:
            return text + "\n";
        case Notification::eventLog:
            return crash::systemLogRecord(eventSource_, text);
        case Notification::none:
            break;
    }
    return {};
}

CrashDumper::File CrashDumper::createFile(const std::string& namePrefix, const char* extension) {
    for (int index = 0; index < 100; ++index) {
        File file{-1, namePrefix + std::to_string(index) + ".nrv." + extension};
        file.descriptor = crash::openEmptyFile(file.path);
        if (file.descriptor >= 0) return file;
    }
    return {};
}

void CrashDumper::close(File& file) {
    if (file.descriptor < 0) return;
    crash::closeAndRemoveIfEmpty(file.descriptor, file.path);
    file.descriptor = -1;
}

// Runs in the signal handler: only what was made beforehand, and calls that
// are safe there.
void CrashDumper::onCrash(const crash::Fault& fault) {
    CrashDumper& dumper = instance();
    // The records that led here first, then the report: it is small, and
    // unwinding a broken stack for the dump may fault again.
    dumper.flushLogs();
    dumper.writeReport(fault);
    if (!dumper.mode_) return;
    dumper.writeDump();
    dumper.notify();
}

void CrashDumper::flushLogs() const {
    if (logFlush_ && !log::isWritingRecord()) logFlush_->runAndWait(logFlushLimit);
}

void CrashDumper::writeReport(const crash::Fault& fault) {
    if (report_.descriptor < 0) return;
    crash::CodeLocation location{};
    const bool located = crash::locateCode(fault.address, location);
    char text[4096];
    const std::size_t size =
        crash_report::format(fault, located ? &location : nullptr, text, sizeof text);
    crash::writeText(report_.descriptor, text, size);
    crash::closeFile(report_.descriptor);
    report_.descriptor = -1;
}

void CrashDumper::writeDump() {
    if (dump_.descriptor < 0) return;
    crash::writeText(dump_.descriptor, "BACKTRACE:\n");
    crash::writeBacktrace(dump_.descriptor);
    crash::writeText(dump_.descriptor, "\nMEMORY MAP:\n");
    crash::writeMemoryMap(dump_.descriptor);
    crash::closeFile(dump_.descriptor);
    dump_.descriptor = -1;
}

void CrashDumper::notify() const {
    switch (*mode_) {
        case Notification::messageBox:
            crash::writeText(crash::standardError, notification_.data(), notification_.size());
            break;
        case Notification::standardOutput:
            crash::writeText(crash::standardOutput, notification_.data(), notification_.size());
            break;
        case Notification::eventLog:
            crash::sendToSystemLog(notification_);
            break;
        case Notification::none:
            break;
    }
}

}  // namespace zorva::plugin
