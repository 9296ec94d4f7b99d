#include "origin_approvals.h"

#include "logging.h"
#include "site_name.h"

#include <algorithm>

namespace zorva::plugin {
namespace {

approval_store::Answers storedAnswers(const boost::filesystem::path& file) {
    try {
        return approval_store::load(file);
    } catch (const std::exception& error) {
        PLUGIN_LOG(error) << "session: origin approvals not read: " << error.what();
        return {};
    }
}

}  // namespace

OriginApprovals::OriginApprovals(const boost::filesystem::path& file,
                                 std::vector<module::OriginAllowlist> preapproved)
    : file_(file), preapproved_(std::move(preapproved)), answers_(storedAnswers(file)) {}

void OriginApprovals::setAsk(Ask ask) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ask_ = std::move(ask);
}

bool OriginApprovals::isListed(const std::string& origin) const {
    return std::any_of(preapproved_.begin(), preapproved_.end(),
                       [&](const module::OriginAllowlist& list) { return list.allows(origin); });
}

bool OriginApprovals::isApproved(const std::string& origin) const {
    if (isListed(origin)) return true;
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto answer = answers_.find(origin);
    return answer != answers_.end() && answer->second;
}

bool OriginApprovals::admits(const std::string& origin) {
    if (isListed(origin)) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    asked_.wait(lock, [&] { return pending_.count(origin) == 0; });
    if (const auto answer = answers_.find(origin); answer != answers_.end()) return answer->second;
    if (const auto denied = deniedOfSite(origin)) {
        PLUGIN_LOG(warning) << "session: origin \"" << origin << "\" refused: its site's \""
                            << *denied << "\" was denied";
        return false;
    }
    if (!ask_) {
        PLUGIN_LOG(warning) << "session: no way to ask about origin \"" << origin << '"';
        return false;
    }
    const Ask ask = ask_;
    pending_.insert(origin);
    lock.unlock();
    PLUGIN_LOG(info) << "session: asking the user about origin \"" << origin << '"';
    std::optional<bool> answer;
    try {
        answer = ask(origin);
    } catch (const std::exception& error) {
        PLUGIN_LOG(error) << "session: asking about origin failed: " << error.what();
    }
    lock.lock();
    pending_.erase(origin);
    if (answer) {
        answers_[origin] = *answer;
        store(answers_);
    }
    asked_.notify_all();
    PLUGIN_LOG(info) << "session: origin \"" << origin << "\" "
                     << (!answer   ? "not answered"
                         : *answer ? "allowed"
                                   : "denied");
    return answer.value_or(false);
}

// A denial holds for the whole site: a page must not get a fresh question
// from each subdomain it makes up. An Allow holds for its one origin.
std::optional<std::string> OriginApprovals::deniedOfSite(const std::string& origin) const {
    const std::string site = siteOf(origin);
    for (const auto& [answered, allowed] : answers_)
        if (!allowed && siteOf(answered) == site) return answered;
    return std::nullopt;
}

approval_store::Answers OriginApprovals::answers() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return answers_;
}

void OriginApprovals::forget(const std::string& origin) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (answers_.erase(origin) == 0) return;
    store(answers_);
    PLUGIN_LOG(info) << "session: origin \"" << origin << "\" forgotten";
}

// The answer holds for this run even when the file cannot be written.
void OriginApprovals::store(const approval_store::Answers& answers) const {
    try {
        approval_store::save(file_, answers);
    } catch (const std::exception& error) {
        PLUGIN_LOG(error) << "session: origin approvals not saved: " << error.what();
    }
}

}  // namespace zorva::plugin
