#include "site_ledger.h"

#include "site_name.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zorva::plugin::ui {
namespace {

using namespace std::chrono_literals;

// A dismissal by mistake costs the user a quarter of a minute; a page that
// keeps asking is held back for an hour from the third dismissal on.
constexpr std::array<SiteLedger::Clock::duration, 3> embargoes{15s, 5min, 1h};

}  // namespace

SiteLedger::SiteLedger(Now now) : now_(std::move(now)) {}

SiteLedger::Clock::duration SiteLedger::embargoAfter(unsigned dismissals) {
    if (dismissals == 0) return Clock::duration::zero();
    return embargoes[std::min<std::size_t>(dismissals, embargoes.size()) - 1];
}

SiteLedger::Clock::duration SiteLedger::embargoLeft(const std::string& origin) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto site = sites_.find(siteOf(origin));
    if (site == sites_.end()) return Clock::duration::zero();
    return std::max(site->second.until - now_(), Clock::duration::zero());
}

bool SiteLedger::startPending(const std::string& origin) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return pending_.insert(origin).second;
}

void SiteLedger::endPending(const std::string& origin) {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_.erase(origin);
}

SiteLedger::Clock::duration SiteLedger::dismissed(const std::string& origin) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Dismissals& site = sites_[siteOf(origin)];
    const Clock::duration embargo = embargoAfter(++site.count);
    site.until = now_() + embargo;
    return embargo;
}

void SiteLedger::answered(const std::string& origin) {
    const std::lock_guard<std::mutex> lock(mutex_);
    sites_.erase(siteOf(origin));
}

}  // namespace zorva::plugin::ui
