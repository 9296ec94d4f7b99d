#pragma once

#include "approval_store.h"
#include "origin_allowlist.h"

#include <boost/filesystem/path.hpp>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zorva::plugin {

// Which browser origins may use the host: those the administrator listed
// ("protocol.origins" entries of the configuration) and those the user
// allowed. The user's answers, denials included, are kept in a file of the
// user's data directory; an origin met for the first time is asked about,
// unless the user denied another origin of its site.
// Connection threads ask and the tray's dialog edits at the same time.
class OriginApprovals {
public:
    // Asks the user: true allows, false denies, none when the user only
    // dismissed the question or nobody answered (nothing is kept: it may be
    // asked again later).
    using Ask = std::function<std::optional<bool>(const std::string& origin)>;

    // A file that cannot be read starts with no answers and is logged.
    OriginApprovals(const boost::filesystem::path& file,
                    std::vector<module::OriginAllowlist> preapproved);

    // Without a way to ask, origins met for the first time are refused.
    void setAsk(Ask ask);

    bool isApproved(const std::string& origin) const;
    // Whether the origin may use the host; asks about an origin without an
    // answer. Only the calling thread waits, and an origin is asked about
    // once however many connections it opened meanwhile.
    bool admits(const std::string& origin);

    approval_store::Answers answers() const;
    // The user's answer is forgotten: the origin is asked about again.
    void forget(const std::string& origin);

private:
    bool isListed(const std::string& origin) const;
    // An origin of the same site that the user denied; called under the lock.
    std::optional<std::string> deniedOfSite(const std::string& origin) const;
    void store(const approval_store::Answers& answers) const;

    const boost::filesystem::path file_;
    const std::vector<module::OriginAllowlist> preapproved_;
    mutable std::mutex mutex_;
    std::condition_variable asked_;
    Ask ask_;
    approval_store::Answers answers_;
    std::set<std::string> pending_;
};

}  // namespace zorva::plugin
