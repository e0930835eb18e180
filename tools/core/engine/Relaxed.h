// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <atomic>

/**
 * A value that one thread writes while others may read it: a relaxed atomic,
 * whose loads and stores cost what plain ones do. Counters are counted up by
 * their one writer with a load and a store, not a locked read-modify-write.
 * Readers see each value whole, though not in step with other values.
 *
 * A copy reads the value, so that the structs holding one stay copyable.
 */
template<typename T>
class Relaxed
{
public:
    Relaxed()
        : value(T())
    {
    }
    explicit Relaxed(T initial)
        : value(initial)
    {
    }
    Relaxed(const Relaxed &other)
        : value(other)
    {
    }
    Relaxed &operator=(const Relaxed &other)
    {
        return *this = static_cast<T>(other);
    }
    Relaxed &operator=(T next)
    {
        value.store(next, std::memory_order_relaxed);
        return *this;
    }
    operator T() const
    {
        return value.load(std::memory_order_relaxed);
    }
    /// The writer's count.
    Relaxed &operator++()
    {
        return *this = static_cast<T>(*this + 1);
    }

private:
    std::atomic<T> value;
};
