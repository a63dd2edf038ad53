#pragma once

// What text layout asks of a face for every code point it measures or draws
// (the glyph's index, its advance), remembered so that threads drawing the
// same face never wait on the face's lock for it: a fixed table of words,
// read without a lock, each written once.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace mk::platform {

// Keys of up to 39 bits to values of up to 24 bits; pairs that do not fit,
// and pairs that find no free slot near their place, are not remembered.
template <std::size_t Slots>
class GlyphMemo {
public:
    static constexpr int kKeyBits = 39;
    static constexpr int kValueBits = 24;
    static_assert((Slots & (Slots - 1)) == 0, "a power of two");

    std::optional<uint32_t> find(uint64_t key) const {
        if (key >> kKeyBits != 0) return std::nullopt;
        const uint64_t tag = tagOf(key);
        for (std::size_t i = 0, at = place(key); i < kProbes; ++i, at = (at + 1) % Slots) {
            const uint64_t word = words_[at].load(std::memory_order_acquire);
            if (word == 0) return std::nullopt;
            if (word >> kValueBits == tag) return static_cast<uint32_t>(word & kValueMask);
        }
        return std::nullopt;
    }

    void remember(uint64_t key, uint32_t value) {
        if (key >> kKeyBits != 0 || value > kValueMask) return;
        const uint64_t tag = tagOf(key);
        const uint64_t word = tag << kValueBits | value;
        for (std::size_t i = 0, at = place(key); i < kProbes; ++i, at = (at + 1) % Slots) {
            uint64_t seen = 0;
            if (words_[at].compare_exchange_strong(seen, word, std::memory_order_release, std::memory_order_acquire)) {
                return;
            }
            if (seen >> kValueBits == tag) return;  // another thread was first, with the same value
        }
    }

private:
    static constexpr std::size_t kProbes = 8;
    static constexpr uint64_t kValueMask = (uint64_t{1} << kValueBits) - 1;

    // The top bit marks a used word, so that key 0 is told from an empty slot.
    static uint64_t tagOf(uint64_t key) { return key | uint64_t{1} << kKeyBits; }
    static std::size_t place(uint64_t key) { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 40) % Slots; }

    std::array<std::atomic<uint64_t>, Slots> words_{};
};

}  // namespace mk::platform
