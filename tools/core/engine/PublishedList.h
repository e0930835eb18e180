// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>

/**
 * A list that one thread appends to while other threads walk it. An element
 * stays where it was appended, and a reader sees every element below the size
 * it read as its appender filled it in; what the appender changes afterwards,
 * readers must read through atomics (Relaxed).
 *
 * The elements live in blocks of 64, 128, 256, ... that are never moved or
 * freed before the list: an index is found with a few bit operations, and
 * neither side takes a lock.
 */
template<typename T>
class PublishedList
{
public:
    PublishedList() = default;
    PublishedList(const PublishedList &) = delete;
    PublishedList &operator=(const PublishedList &) = delete;

    /// The elements appended so far; from any thread.
    std::size_t size() const
    {
        return count.load(std::memory_order_acquire);
    }
    /// index must lie below a size() that this thread read.
    T &operator[](std::size_t index)
    {
        return blocks[blockOf(index)][offsetIn(index)];
    }
    const T &operator[](std::size_t index) const
    {
        return blocks[blockOf(index)][offsetIn(index)];
    }

    /// On the appending thread: fill(element) fills in a default-made element,
    /// which readers see only once it returned.
    template<typename Fill>
    T &append(Fill fill)
    {
        const std::size_t index = count.load(std::memory_order_relaxed);
        std::unique_ptr<T[]> &block = blocks[blockOf(index)];
        if (!block) {
            block = std::make_unique<T[]>(firstBlock << blockOf(index));
        }
        T &element = block[offsetIn(index)];
        fill(element);
        count.store(index + 1, std::memory_order_release);
        return element;
    }

private:
    static constexpr std::size_t firstBlock = 64;

    // Block k holds the indexes from firstBlock * (2^k - 1) on, firstBlock * 2^k of them.
    static std::size_t blockOf(std::size_t index)
    {
        const unsigned long long above = index / firstBlock + 1;
        return static_cast<std::size_t>(63 - __builtin_clzll(above));
    }
    static std::size_t offsetIn(std::size_t index)
    {
        return index + firstBlock - (firstBlock << blockOf(index));
    }

    std::array<std::unique_ptr<T[]>, 48> blocks;
    std::atomic<std::size_t> count{0};
};
