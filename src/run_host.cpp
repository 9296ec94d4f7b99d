#include "run_host.h"

#include "approval_dialog.h"
#include "config_normalizer.h"
#include "core_job.h"
#include "crash_dumper.h"
#include "environment.h"
#include "gui_registry.h"
#include "logging.h"
#include "origin_approvals.h"
#include "path_registry.h"
#include "platform.h"
#include "protocol_unavailable.h"
#include "session.h"
#include "site_ledger.h"
#include "system_tray.h"
#include "thread_count_hint.h"
#include "worker.h"

#include <QApplication>
#include <QThreadPool>
#include <QTimer>

#include <boost/filesystem/operations.hpp>

#include <memory>
#include <thread>

namespace zorva::plugin {
namespace {

void setIdentity() {
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::setOrganizationName("norvel");
    QCoreApplication::setApplicationName("plugin");
    // No locale codec is set: file names and texts are UTF-8 on this
    // platform, and a Windows-1251 codec would garble non-ASCII names.
}

void logStart(const format::Config& config) {
    PLUGIN_LOG(info) << "core: start, category: " << config.format.category
                     << ", version: " << config.format.version
                     << ", process: " << platform::processId()
                     << ", thread: " << std::this_thread::get_id();
}

boost::shared_ptr<Session> initSession(const format::ConfigPtr& config) {
    auto session = Session::instance();
    ConfigNormalizer(config, ConfigFiles::fromPathRegistry()).apply();
    session->init(config);
    return session;
}

void askAboutOrigins(Session& session) {
    const std::string productName = ui::GuiRegistry::instance().impl().applicationName();
    const auto sites = std::make_shared<ui::SiteLedger>();
    session.approvals().setAsk([productName, sites](const std::string& origin) {
        return ui::askOriginApproval(origin, productName, *sites);
    });
}

// The exit code of a failed job: 1 when the protocol could not serve at all,
// after an error record and, where the tray shows, a notice that stays a
// while. A protocol that ends because its peer went away ends as ever, with 0.
struct JobOutcome {
    int exitCode = 0;
    int exitDelayMs = 0;
};

void onProtocolFailure(const std::exception_ptr& failure, SystemTray& tray, JobOutcome& outcome) {
    try {
        std::rethrow_exception(failure);
    } catch (const module::ProtocolUnavailable& error) {
        PLUGIN_LOG(error) << "core: the protocol cannot serve, exit code 1: " << error.what();
        outcome.exitCode = 1;
        if (tray.noticeFailure(error.what())) outcome.exitDelayMs = SystemTray::noticeMs;
    } catch (...) {
    }
}

// The job's end ends the event loop, whatever the job raised.
void startCoreJob(const boost::shared_ptr<Session>& session, SystemTray& tray) {
    auto* worker = new Worker<void>(qApp, CoreJob(session));
    const auto outcome = std::make_shared<JobOutcome>();
    worker->setFailure([&tray, outcome](const std::exception_ptr& failure) {
        logFailure("failed, reason: ", failure);
        onProtocolFailure(failure, tray, *outcome);
    });
    worker->setFinal([outcome] {
        PLUGIN_LOG(info) << "core: finish";
        QTimer::singleShot(outcome->exitDelayMs,
                           [code = outcome->exitCode] { QCoreApplication::exit(code); });
    });
    worker->start();
}

}  // namespace

int runHost(const format::ConfigPtr& config) {
    setIdentity();
    QThreadPool::globalInstance()->setMaxThreadCount(threadCountHint());
    CrashDumper::install();
    boost::filesystem::current_path(path_registry::thisDir());
    logStart(*config);
    registerFonts();
    const auto translator = installTranslator();
    const auto session = initSession(config);
    askAboutOrigins(*session);
    SystemTray tray(session, ui::GuiRegistry::instance().impl());
    tray.setUp();
    startCoreJob(session, tray);
    return QCoreApplication::exec();
}

}  // namespace zorva::plugin
