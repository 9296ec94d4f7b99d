#pragma once

#include <array>
#include <string>

namespace zorva::plugin {

// A set of bytes, tested in constant time.
class CharSet {
public:
    explicit CharSet(const std::string& chars) {
        for (char c : chars) members_[static_cast<unsigned char>(c)] = true;
    }
    bool contains(char c) const { return members_[static_cast<unsigned char>(c)]; }

private:
    std::array<bool, 256> members_{};
};

}  // namespace zorva::plugin
