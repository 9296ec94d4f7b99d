#pragma once

#include <cstddef>
#include <memory>

namespace zorva::plugin::crypto {

// A PIN or another secret on its way from the user to the token. It lives as
// long as the operation that needs it, wipes its bytes when it goes, and can
// be neither copied nor written to a stream: a log line that tries does not
// compile.
class Secret {
public:
    Secret() = default;
    // Copies the bytes; the caller wipes its own copy.
    Secret(const char* data, std::size_t size);
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret();

    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    // Not terminated; valid while this object lives and is not assigned to.
    const unsigned char* bytes() const { return bytes_.get(); }

private:
    void wipe() noexcept;

    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t size_ = 0;
};

template <class Stream>
Stream& operator<<(Stream&, const Secret&) = delete;

}  // namespace zorva::plugin::crypto
