// The caches behind the print path are shared by every thread of a host for
// as long as it runs: what they keep must stay within their bounds, and what
// they hand out must stay valid after they drop it.
#include "portable/bounded_cache.h"

#include <gtest/gtest.h>

#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Cache = mk::platform::BoundedCache<std::string, std::string>;

std::shared_ptr<const std::string> value(const std::string& text) { return std::make_shared<const std::string>(text); }

std::vector<std::string> keptOf(Cache& cache, const std::vector<std::string>& keys) {
    std::vector<std::string> kept;
    for (const std::string& key : keys) {
        if (cache.find(key) != nullptr) kept.push_back(key);
    }
    return kept;
}

TEST(BoundedCache, TheLeastRecentlyUsedGoFirstWhenEitherBoundIsReached) {
    struct Store {
        const char* key;
        std::size_t bytes;
    };
    struct Case {
        const char* name;
        std::size_t maxBytes;
        std::size_t maxEntries;
        std::vector<Store> before;  // stored, then "a" is looked up
        Store last;
        std::vector<std::string> kept;
        std::size_t bytes;
    };
    const Case cases[] = {
        {"entries", 1000, 3, {{"a", 10}, {"b", 10}, {"c", 10}}, {"d", 10}, {"a", "c", "d"}, 30},
        {"bytes", 100, 10, {{"a", 40}, {"b", 40}}, {"c", 40}, {"a", "c"}, 80},
        {"bytes, several go", 100, 10, {{"a", 30}, {"b", 30}, {"c", 30}}, {"d", 90}, {"d"}, 90},
        {"larger than the whole cache", 100, 10, {{"a", 40}}, {"d", 101}, {"a"}, 40},
        {"exactly the whole cache", 100, 10, {{"a", 40}}, {"d", 100}, {"d"}, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cache cache(c.maxBytes, c.maxEntries);
        for (const Store& store : c.before) cache.store(store.key, value(store.key), store.bytes);
        ASSERT_NE(cache.find(std::string("a")), nullptr);
        cache.store(c.last.key, value(c.last.key), c.last.bytes);
        EXPECT_EQ(keptOf(cache, {"a", "b", "c", "d"}), c.kept);
        EXPECT_EQ(cache.bytes(), c.bytes);
    }
}

TEST(BoundedCache, AValueStaysValidForItsHolderAfterTheCacheDropsIt) {
    Cache cache(100, 1);
    cache.store("a", value("first"), 10);
    const std::shared_ptr<const std::string> held = cache.find(std::string("a"));
    ASSERT_NE(held, nullptr);
    cache.store("b", value("second"), 10);
    EXPECT_EQ(cache.find(std::string("a")), nullptr);
    EXPECT_EQ(*held, "first");
}

// Two threads that made the same value both store it: the first one stays,
// counted once.
TEST(BoundedCache, AKeyStoredAgainKeepsTheFirstValue) {
    Cache cache(100, 10);
    cache.store("a", value("first"), 10);
    EXPECT_EQ(*cache.store("a", value("again"), 10), "first");  // the second thread goes on with it
    EXPECT_EQ(*cache.find(std::string("a")), "first");
    EXPECT_EQ(cache.bytes(), 10u);
}

// Threads that each store keys no other has stored, all at once, as threads
// printing different labels do: the cache stays within its bounds and keeps
// the newest. (Under ThreadSanitizer, any store outside the lock fails here.)
TEST(BoundedCache, ThreadsStoringNewKeysAtOnceKeepItWithinItsBounds) {
    constexpr int kThreads = 8;
    constexpr int kKeysEach = 300;
    Cache cache(1000, 40);
    std::latch start(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int i = 0; i < kKeysEach; ++i) {
                    const std::string key = std::to_string(t) + "/" + std::to_string(i);
                    EXPECT_EQ(*cache.store(key, value(key), 10 + i % 20), key);
                }
            });
        }
    }
    EXPECT_LE(cache.bytes(), 1000u);
    std::size_t kept = 0;
    std::size_t keptBytes = 0;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kKeysEach; ++i) {
            if (cache.find(std::to_string(t) + "/" + std::to_string(i)) == nullptr) continue;
            ++kept;
            keptBytes += 10 + i % 20;
        }
    }
    EXPECT_LE(kept, 40u);
    EXPECT_EQ(keptBytes, cache.bytes());
}

// Unless it ignores the switch, as the font lookups' caches do.
TEST(BoundedCache, SwitchedOffItNeitherFindsNorStores) {
    Cache cache(100, 10);
    Cache lookups(100, 10, mk::platform::CacheSwitch::Ignores);
    cache.store("a", value("kept"), 10);
    lookups.store("a", value("kept"), 10);
    mk::platform::setCachingEnabled(false);
    const std::shared_ptr<const std::string> found = cache.find(std::string("a"));
    const std::shared_ptr<const std::string> looked = lookups.find(std::string("a"));
    cache.store("b", value("not kept"), 10);
    lookups.store("b", value("kept too"), 10);
    mk::platform::setCachingEnabled(true);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(keptOf(cache, {"a", "b"}), std::vector<std::string>{"a"});
    EXPECT_EQ(cache.bytes(), 10u);
    EXPECT_NE(looked, nullptr);
    EXPECT_EQ(keptOf(lookups, {"a", "b"}), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
