#pragma once

#include <cstddef>

namespace zorva::plugin::cryptoki {

// A PIN or another secret on its way from the user to the token. It lives as
// long as the operation that needs it, on memory pages of its own kept out of
// swap where the system allows, wipes its bytes when it goes, and can be
// neither copied nor written to a stream: a log line that tries does not
// compile. It grows in place as a PIN is typed, so no other copy is made.
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
    // Not terminated; valid while this object lives and is not changed.
    const unsigned char* bytes() const { return bytes_; }

    // Adds the bytes at the end; when the pages are full they are copied to
    // larger ones and wiped.
    void append(const char* data, std::size_t size);
    // Keeps the first `size` bytes and wipes the rest.
    void truncate(std::size_t size) noexcept;

private:
    void wipe() noexcept;

    unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

template <class Stream>
Stream& operator<<(Stream&, const Secret&) = delete;

}  // namespace zorva::plugin::cryptoki
