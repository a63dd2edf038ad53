#pragma once

// What text layout asks of a face for every code point it measures or draws
// (the glyph's index, its advance), remembered so that threads drawing the
// same face never wait on the face's lock for it: a fixed table of words,
// read without a lock, each holding a whole key and its value.

#include <memory>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace mk::platform {

// Keys of up to 39 bits to values of up to 24 bits; pairs that do not fit are
// not remembered. When three quarters of the slots are taken, or a pair finds
// no free slot near its place, the table starts over: a process that draws
// size after size keeps remembering what it draws now.
class GlyphMemo {
public:
    static constexpr int kKeyBits = 39;
    static constexpr int kValueBits = 24;

    // slots: a power of two.
    explicit GlyphMemo(std::size_t slots)
        : slots_(slots), fullAt_(slots / 4 * 3), words_(std::make_unique<std::atomic<uint64_t>[]>(slots)) {}

    std::size_t slots() const { return slots_; }
    std::size_t fullAt() const { return fullAt_; }

    std::optional<uint32_t> find(uint64_t key) const {
        if (key >> kKeyBits != 0) return std::nullopt;
        const uint64_t tag = tagOf(key);
        for (std::size_t i = 0, at = place(key); i < kProbes; ++i, at = (at + 1) & (slots_ - 1)) {
            const uint64_t word = words_[at].load(std::memory_order_acquire);
            if (word == 0) return std::nullopt;
            if (word >> kValueBits == tag) return static_cast<uint32_t>(word & kValueMask);
        }
        return std::nullopt;
    }

    void remember(uint64_t key, uint32_t value) {
        if (key >> kKeyBits != 0 || value > kValueMask) return;
        const uint64_t word = tagOf(key) << kValueBits | value;
        if (used_.load(std::memory_order_relaxed) >= fullAt_) startOver();
        if (!store(key, word)) {
            startOver();
            store(key, word);
        }
    }

    // How many pairs it holds (while no thread writes).
    std::size_t size() const { return used_.load(std::memory_order_relaxed); }

private:
    static constexpr std::size_t kProbes = 8;
    static constexpr uint64_t kValueMask = (uint64_t{1} << kValueBits) - 1;

    // The top bit marks a used word, so that key 0 is told from an empty slot.
    static uint64_t tagOf(uint64_t key) { return key | uint64_t{1} << kKeyBits; }
    std::size_t place(uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 24) & (slots_ - 1);
    }

    // False when the pair finds no free slot near its place.
    bool store(uint64_t key, uint64_t word) {
        for (std::size_t i = 0, at = place(key); i < kProbes; ++i, at = (at + 1) & (slots_ - 1)) {
            uint64_t seen = 0;
            if (words_[at].compare_exchange_strong(seen, word, std::memory_order_release, std::memory_order_acquire)) {
                used_.fetch_add(1, std::memory_order_relaxed);
                return true;
            }
            if (seen >> kValueBits == word >> kValueBits) return true;  // another thread was first, with the same value
        }
        return false;
    }

    // Every word is a whole pair or empty, so a reader that meets the table
    // half cleared finds a right answer or none, and asks the face. One
    // thread clears at a time; the others go on meanwhile.
    void startOver() {
        if (clearing_.exchange(true, std::memory_order_acquire)) return;
        for (std::size_t i = 0; i < slots_; ++i) words_[i].store(0, std::memory_order_relaxed);
        used_.store(0, std::memory_order_relaxed);
        clearing_.store(false, std::memory_order_release);
    }

    const std::size_t slots_;
    const std::size_t fullAt_;
    const std::unique_ptr<std::atomic<uint64_t>[]> words_;
    std::atomic<std::size_t> used_{0};
    std::atomic<bool> clearing_{false};
};

}  // namespace mk::platform
