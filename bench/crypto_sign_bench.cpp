// Signs a 1 GiB document that already sits joined in the chunk store, the way
// the last chunk of a page's upload hands it to the crypto module: one "sign"
// request through MessageHandler, answered by the real module against a
// SoftHSM2 token, with the real consent dialog on a virtual X display. The
// main thread plays the user: it finds the dialog, types the PIN and presses
// Sign. Prints MB/s of document (10^6 bytes per second, wall clock and
// processor time, request to reply) and the peak resident memory above the
// baseline taken after a first small signature.
//
// The session takes its modules and the chunk store its files from the
// program's place, so the program runs itself again from a private tree,
// which is removed at the end.
#include "bench_session.h"
#include "chunk_store.h"
#include "evp_digest.h"
#include "message_handler.h"
#include "process_usage.h"
#include "staged_program.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>

#include <openssl/evp.h>

#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/trivial.hpp>
#include <boost/make_shared.hpp>
#include <boost/process.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>

namespace {

namespace fs = boost::filesystem;
using zorva::plugin::MessageHandler;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;

constexpr std::size_t documentSize = std::size_t(1) << 30;

// One random MiB repeated; returns the SHA-256 the page would send.
std::string writeDocument(const fs::path& path, std::size_t size) {
    std::string block(1 << 20, '\0');
    std::mt19937_64 random(7);
    for (char& byte : block) byte = static_cast<char>(random());
    zorva::plugin::EvpDigest sha256(EVP_sha256());
    std::ofstream out(path.string(), std::ios::binary);
    for (std::size_t written = 0; written < size; written += block.size()) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        sha256.addData(block.data(), block.size());
    }
    return sha256.hexResult();
}

std::string certificateId(const fs::path& der) {
    std::ifstream in(der.string(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    zorva::plugin::EvpDigest sha256(EVP_sha256());
    sha256.addData(bytes.data(), bytes.size());
    return sha256.hexResult();
}

// The user: types the PIN into the consent dialog as soon as it shows.
void answerDialogs() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(widget);
            if (!dialog || !dialog->isVisible()) continue;
            if (auto* pin = dialog->findChild<QLineEdit*>()) pin->setText("123456");
            dialog->accept();
        }
    });
    timer->start(5);
}

int run(int argc, char** argv) {
    QApplication application(argc, argv);
    // As in the host: closing a dialog does not end the program.
    application.setQuitOnLastWindowClosed(false);
    namespace logging = boost::log;
    logging::core::get()->set_filter(logging::trivial::severity >= logging::trivial::error);

    const fs::path token = staged_program::tree() / "token";
    boost::process::system(BENCH_MAKE_TOKEN, token.string());
    setenv("SOFTHSM2_CONF", (token / "softhsm2.conf").c_str(), 1);
    MessageHandler handler(startBenchSession(CRYPTO_MODULE, "crypto"));
    const fs::path catalog = zorva::plugin::ChunkStore::root() / "upload";
    fs::create_directories(catalog);
    const std::string certificate = certificateId(token / "RSA Signer.der");
    const auto signRequest = [&](const std::string& name, std::size_t size) {
        const fs::path path = catalog / name;
        const std::string sha256 = writeDocument(path, size);
        auto request = boost::make_shared<Message>();
        request->id = name;
        request->module.type = "crypto";
        request->method.type = "sign";
        request->method.data = R"({"certificate":")" + certificate + R"(","sha256":[")" + sha256 +
                               R"("],"files":[{"name":")" + name +
                               R"(","contentEncoding":"temp","path":")" + path.string() + R"("}]})";
        return request;
    };
    // A first small signature brings up what any signature needs once (the
    // dialog's window and fonts, the token's library): the baseline includes it.
    const MessagePtr warmUp = signRequest("warm-up.bin", std::size_t(1) << 20);
    const MessagePtr request = signRequest("document.bin", documentSize);
    answerDialogs();
    int status = 1;
    std::thread page([&] {
        int state = MessageHandler::None;
        MessagePtr reply = handler.handle(warmUp, &state);
        const double baseline = peakRssMiB();
        const double cpuStart = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (state == MessageHandler::Ok) reply = handler.handle(request, &state);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        const double cpu = cpuSeconds() - cpuStart;
        const double peak = peakRssMiB();
        if (state != MessageHandler::Ok) {
            std::fprintf(stderr, "unexpected reply: %s\n", reply ? reply->error.c_str() : "none");
        } else {
            std::printf("document %zu MiB, detached CAdES-BES, RSA-2048 on SoftHSM2\n",
                        documentSize >> 20);
            std::printf("wall clock %.2f s: %.0f MB/s; processor time %.2f s: %.0f MB/s\n",
                        elapsed.count(), double(documentSize) / 1e6 / elapsed.count(), cpu,
                        double(documentSize) / 1e6 / cpu);
            std::printf("peak RSS: baseline %.1f MiB, peak %.1f MiB, %.1f MiB above baseline\n",
                        baseline, peak, peak - baseline);
            status = 0;
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    application.exec();
    page.join();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (staged_program::tree().empty()) return staged_program::runStaged(argc, argv, {});
    return run(argc, argv);
}
