#include "approval_store.h"

#include "json_binding.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <boost/filesystem/operations.hpp>

#include <stdexcept>

namespace zorva::plugin::approval_store {
namespace {

constexpr const char* allowText = "allow";
constexpr const char* denyText = "deny";

// {"origins": {"https://sign.example.org": "allow", "https://other.example": "deny"}}
struct ApprovalFile {
    std::map<std::string, std::string> origins;

    template <class Io>
    void json_io(Io& io) {
        io& json_dto::optional("origins", origins);
    }
};

QString toQString(const boost::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

std::runtime_error fileError(const std::string& what, const boost::filesystem::path& file,
                             const QString& reason) {
    return std::runtime_error(what + ' ' + file.string() + ": " + reason.toStdString());
}

}  // namespace

Answers load(const boost::filesystem::path& file) {
    if (!boost::filesystem::exists(file)) return {};
    QFile input(toQString(file));
    if (!input.open(QIODevice::ReadOnly))
        throw fileError("unable to read", file, input.errorString());
    const QByteArray bytes = input.readAll();
    ApprovalFile stored;
    json_dto::from_json(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                        stored);
    Answers answers;
    // Anything but the two words is no answer: the user is asked again.
    for (const auto& [origin, answer] : stored.origins)
        if (answer == allowText || answer == denyText) answers[origin] = answer == allowText;
    return answers;
}

void save(const boost::filesystem::path& file, const Answers& answers) {
    ApprovalFile stored;
    for (const auto& [origin, allowed] : answers)
        stored.origins[origin] = allowed ? allowText : denyText;
    const std::string text = json_dto::to_json(stored);
    QSaveFile output(toQString(file));
    if (!output.open(QIODevice::WriteOnly) ||
        !output.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        output.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !output.commit())
        throw fileError("unable to write", file, output.errorString());
}

}  // namespace zorva::plugin::approval_store
