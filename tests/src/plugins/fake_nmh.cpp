// A stand-in for the native-messaging protocol module, which is not part of
// this repository: its loop only reports that it ran, or fails when the
// environment asks it to, so the host's job ends at once either way.
#include "iprotocol.h"
#include "logging.h"
#include "module.h"
#include "process_env.h"

#include <QObject>
#include <QtPlugin>

#include <stdexcept>

namespace {

using namespace zorva::plugin;

class FakeNmh : public module::Module, public module::IProtocol {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "plugin" FILE "fake_nmh.json")
    Q_INTERFACES(zorva::plugin::module::IProtocol)

public:
    module::IProtocol* protocol() override { return this; }

    std::string name() override { return "nmh"; }

    void run() override {
        if (process_env::get("FAKE_NMH_FAIL"))
            throw std::runtime_error("fake nmh: browser pipe closed");
        PLUGIN_LOG(info) << "fake nmh: run";
    }

    void interrupt() override {}
    format::MessagePtr receive() override { return {}; }
    void send(const format::MessagePtr&) override {}
};

}  // namespace

#include "fake_nmh.moc"
