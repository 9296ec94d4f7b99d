#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace zorva::plugin::ui {

// What the user did with the prompts of each site, so that no page can keep
// prompts coming: after the user dismissed (or cancelled) one of a site's
// prompts, the site gets none for a while, longer with each dismissal, as
// browsers hold back a site's permission prompts; and each origin has at most
// one prompt queued or shown. Dismissals and embargoes count per site (the
// registrable domain), so fresh subdomains start no count of their own.
// Asking threads use it at the same time.
class SiteLedger {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    explicit SiteLedger(Now now = Clock::now);

    // How long a site gets no prompt after its n-th dismissal in a row:
    // a moment after one, an hour from the third on.
    static Clock::duration embargoAfter(unsigned dismissals);

    // What is left of the embargo on the origin's site; zero when none.
    Clock::duration embargoLeft(const std::string& origin) const;
    // The origin's prompt is now queued; false when it has one already.
    bool startPending(const std::string& origin);
    void endPending(const std::string& origin);
    // The user dismissed the origin's prompt: its site's embargo begins or grows.
    // Returns its length.
    Clock::duration dismissed(const std::string& origin);
    // The user answered the origin's prompt: its site's count starts anew.
    void answered(const std::string& origin);

private:
    struct Dismissals {
        unsigned count = 0;
        Clock::time_point until;
    };

    const Now now_;
    mutable std::mutex mutex_;
    std::map<std::string, Dismissals> sites_;
    std::set<std::string> pending_;
};

}  // namespace zorva::plugin::ui
