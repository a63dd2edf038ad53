#pragma once

// Caches that spare work repeated from one print to the next (glyph bitmaps,
// barcode symbols, decoded pictures, font lookups). Every cache is bounded
// and shared by all threads; a value it hands out stays valid for its holder
// after the cache has dropped it.

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

// Whether a cache stops with cachingEnabled() off. Caches of work that is
// only looked up, not made into output (font lookups), keep working.
enum class CacheSwitch { Follows, Ignores };

// A map from keys to shared values that holds at most maxBytes (as its
// callers count them) and maxEntries; the least recently used entries go
// first. Safe to use from several threads at once. Values are handed out
// immutable unless Held says otherwise, for values that guard their own
// state.
template <typename Key, typename Value, typename Hash = std::hash<Key>, typename Equal = std::equal_to<Key>,
          typename Held = const Value>
class BoundedCache {
public:
    BoundedCache(std::size_t maxBytes, std::size_t maxEntries, CacheSwitch use = CacheSwitch::Follows)
        : maxBytes_(maxBytes), maxEntries_(maxEntries), use_(use) {}
    BoundedCache(const BoundedCache&) = delete;
    BoundedCache& operator=(const BoundedCache&) = delete;

    // Null when the key is not cached or caching is off. K is anything the
    // hash and the comparison take, so a lookup need not build a Key.
    template <typename K>
    std::shared_ptr<Held> find(const K& key) {
        if (!inUse()) return nullptr;
        std::lock_guard lock(mutex_);
        const auto it = index_.find(key);
        if (it == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, it->second.position);
        return it->second.value;
    }

    // Stores the value under the key, counted as bytes; a value larger than
    // the whole cache is not stored. Returns the value the key stands for
    // now: the one cached before when another thread was first, else this one.
    std::shared_ptr<Held> store(Key key, std::shared_ptr<Held> value, std::size_t bytes) {
        if (!inUse() || value == nullptr || bytes > maxBytes_ || maxEntries_ == 0) return value;
        std::lock_guard lock(mutex_);
        if (const auto it = index_.find(key); it != index_.end()) return it->second.value;
        while (!order_.empty() && (bytes_ + bytes > maxBytes_ || index_.size() >= maxEntries_)) evictOldest();
        auto [it, inserted] = index_.emplace(std::move(key), Node{std::move(value), bytes, {}});
        order_.push_front(&it->first);
        it->second.position = order_.begin();
        bytes_ += bytes;
        return it->second.value;
    }

    std::size_t bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }

private:
    struct Node {
        std::shared_ptr<Held> value;
        std::size_t bytes = 0;
        typename std::list<const Key*>::iterator position;
    };

    void evictOldest() {
        const auto it = index_.find(*order_.back());
        bytes_ -= it->second.bytes;
        order_.pop_back();
        index_.erase(it);
    }

    bool inUse() const { return use_ == CacheSwitch::Ignores || cachingEnabled(); }

    const std::size_t maxBytes_;
    const std::size_t maxEntries_;
    const CacheSwitch use_;
    mutable Mutex mutex_;
    // Most recently used first; the keys live in the index, whose nodes do
    // not move.
    std::list<const Key*> order_;
    std::unordered_map<Key, Node, Hash, Equal> index_;
    std::size_t bytes_ = 0;
};

}  // namespace mk::platform
