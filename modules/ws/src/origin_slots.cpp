#include "origin_slots.h"

#include <utility>

namespace zorva::plugin::module {

OriginSlots::Slot::Slot(OriginSlots& slots, std::string origin)
    : slots_(&slots), origin_(std::move(origin)) {}

OriginSlots::Slot::Slot(Slot&& other) noexcept
    : slots_(std::exchange(other.slots_, nullptr)), origin_(std::move(other.origin_)) {}

OriginSlots::Slot& OriginSlots::Slot::operator=(Slot&& other) noexcept {
    if (this == &other) return *this;
    if (slots_) slots_->giveBack(origin_);
    slots_ = std::exchange(other.slots_, nullptr);
    origin_ = std::move(other.origin_);
    return *this;
}

OriginSlots::Slot::~Slot() {
    if (slots_) slots_->giveBack(origin_);
}

OriginSlots::OriginSlots(std::size_t perOrigin) : perOrigin_(perOrigin) {}

std::optional<OriginSlots::Slot> OriginSlots::take(const std::string& origin) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::size_t& held = held_[origin];
    if (held >= perOrigin_) return std::nullopt;
    ++held;
    return std::make_optional<Slot>(*this, origin);
}

// An origin without connections leaves no entry: pages cannot grow the map.
void OriginSlots::giveBack(const std::string& origin) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto entry = held_.find(origin);
    if (entry != held_.end() && --entry->second == 0) held_.erase(entry);
}

}  // namespace zorva::plugin::module
