#pragma once

// Caches that spare work repeated from one print to the next (glyph bitmaps,
// barcode symbols, decoded pictures, surface memory). Every cache is bounded
// and shared by all threads; what it hands out is immutable, so a value stays
// valid for its holder after the cache has dropped it.

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/mutex.h"

namespace mk::platform {

// Whether the caches are used. Tests switch them off to build the output
// from nothing and compare; hosts never do. Switching off does not empty
// them, it only stops every lookup and store.
bool cachingEnabled();
void setCachingEnabled(bool enabled);

// A map from keys to shared immutable values that holds at most maxBytes
// (as its callers count them) and maxEntries; the least recently used entries
// go first. Safe to use from several threads at once.
template <typename Key, typename Value, typename Hash = std::hash<Key>, typename Equal = std::equal_to<Key>>
class BoundedCache {
public:
    BoundedCache(std::size_t maxBytes, std::size_t maxEntries) : maxBytes_(maxBytes), maxEntries_(maxEntries) {}
    BoundedCache(const BoundedCache&) = delete;
    BoundedCache& operator=(const BoundedCache&) = delete;

    // Null when the key is not cached or caching is off. K is anything the
    // hash and the comparison take, so a lookup need not build a Key.
    template <typename K>
    std::shared_ptr<const Value> find(const K& key) {
        if (!cachingEnabled()) return nullptr;
        std::lock_guard lock(mutex_);
        const auto it = index_.find(key);
        if (it == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, it->second.position);
        return it->second.value;
    }

    // Stores the value under the key, counted as bytes; a value larger than
    // the whole cache is not stored.
    void store(Key key, std::shared_ptr<const Value> value, std::size_t bytes) {
        if (!cachingEnabled() || value == nullptr || bytes > maxBytes_ || maxEntries_ == 0) return;
        std::lock_guard lock(mutex_);
        if (index_.find(key) != index_.end()) return;  // another thread was first
        while (!order_.empty() && (bytes_ + bytes > maxBytes_ || index_.size() >= maxEntries_)) evictOldest();
        auto [it, inserted] = index_.emplace(std::move(key), Node{std::move(value), bytes, {}});
        order_.push_front(&it->first);
        it->second.position = order_.begin();
        bytes_ += bytes;
    }

    std::size_t bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }

private:
    struct Node {
        std::shared_ptr<const Value> value;
        std::size_t bytes = 0;
        typename std::list<const Key*>::iterator position;
    };

    void evictOldest() {
        const auto it = index_.find(*order_.back());
        bytes_ -= it->second.bytes;
        order_.pop_back();
        index_.erase(it);
    }

    const std::size_t maxBytes_;
    const std::size_t maxEntries_;
    mutable Mutex mutex_;
    // Most recently used first; the keys live in the index, whose nodes do
    // not move.
    std::list<const Key*> order_;
    std::unordered_map<Key, Node, Hash, Equal> index_;
    std::size_t bytes_ = 0;
};

}  // namespace mk::platform
