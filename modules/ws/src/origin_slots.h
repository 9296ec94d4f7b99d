#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace zorva::plugin::module {

// How many connections each page's origin holds at once, so that one page
// cannot take every connection the server serves from programs and other
// pages. Connection threads take and give back slots at the same time.
class OriginSlots {
public:
    // A connection's place, given back when it goes.
    class Slot {
    public:
        Slot(OriginSlots& slots, std::string origin);
        Slot(Slot&& other) noexcept;
        ~Slot();
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        Slot& operator=(Slot&& other) noexcept;

    private:
        OriginSlots* slots_;
        std::string origin_;
    };

    explicit OriginSlots(std::size_t perOrigin);

    std::size_t perOrigin() const { return perOrigin_; }
    // None when the origin holds all its slots already.
    std::optional<Slot> take(const std::string& origin);

private:
    void giveBack(const std::string& origin);

    const std::size_t perOrigin_;
    std::mutex mutex_;
    std::map<std::string, std::size_t> held_;
};

}  // namespace zorva::plugin::module
