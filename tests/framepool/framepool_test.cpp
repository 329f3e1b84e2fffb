#include <gtest/gtest.h>

#include <thread>

#include "libcapture/framepool/framepool.h"

TEST(FramePool, ReusesABufferOnlyAfterItsLastHolderDropsIt)
{
    auto pool = FramePool::create(4);
    auto first = pool->acquire(1024);
    auto held = first;  // a second holder
    uint8_t* address = first.get();
    first.reset();
    auto second = pool->acquire(1024);
    EXPECT_NE(second.get(), address) << "a buffer still held must never be handed out";
    held.reset();
    auto third = pool->acquire(1024);
    EXPECT_EQ(third.get(), address);
    EXPECT_EQ(pool->allocations(), 2u);
}

TEST(FramePool, SizeChangeDrainsBuffersOfTheOldSize)
{
    auto pool = FramePool::create(4);
    { auto a = pool->acquire(100); auto b = pool->acquire(100); }
    EXPECT_EQ(pool->idleCount(), 2u);
    auto c = pool->acquire(200);
    EXPECT_EQ(pool->idleCount(), 0u);
    EXPECT_EQ(pool->allocations(), 3u);
}

TEST(FramePool, KeepsAtMostMaxIdleAndBuffersMayOutliveThePool)
{
    auto pool = FramePool::create(2);
    std::vector<std::shared_ptr<uint8_t>> many;
    for (int i = 0; i < 5; ++i) many.push_back(pool->acquire(64));
    many.clear();
    EXPECT_EQ(pool->idleCount(), 2u);
    auto survivor = pool->acquire(64);
    pool.reset();
    survivor.get()[63] = 1;  // still valid memory; freed by its own deleter (ASan/valgrind clean)
    survivor.reset();
}

TEST(FramePool, ConcurrentAcquireAndReleaseKeepsCountsConsistent)
{
    auto pool = FramePool::create(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([pool] {
            for (int i = 0; i < 2000; ++i) {
                auto b = pool->acquire(4096);
                b.get()[0] = static_cast<uint8_t>(i);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_LE(pool->idleCount(), 8u);
    EXPECT_LE(pool->allocations(), 8u) << "steady state must not allocate per frame";
}
