// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// ThreadSanitizer cannot see inside Qt 5's locks: the slow paths of QMutex,
// QReadWriteLock and QWaitCondition live in the uninstrumented Qt library. In
// ThreadSanitizer builds every lock site here also tells the sanitizer what it
// acquired and released; in every other build the notes compile to nothing.

#include <QMutex>
#include <QReadWriteLock>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

#if defined(__SANITIZE_THREAD__)
#define TALVENO_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TALVENO_TSAN 1
#endif
#endif

#ifdef TALVENO_TSAN
extern "C" {
void AnnotateRWLockAcquired(const char *file, int line, const volatile void *lock, long isWrite);
void AnnotateRWLockReleased(const char *file, int line, const volatile void *lock, long isWrite);
void AnnotateHappensBefore(const char *file, int line, const volatile void *address);
void AnnotateHappensAfter(const char *file, int line, const volatile void *address);
}
#endif

namespace TalvenoLocks
{
enum class Mode { Read, Write };

// Held for as long as the real lock is held: constructed after it is taken and
// destroyed before it is released.
class LockNote
{
public:
#ifdef TALVENO_TSAN
    LockNote(const void *lock, Mode mode)
        : lock(lock)
        , isWrite(mode == Mode::Write)
    {
        acquired();
    }
    ~LockNote()
    {
        released();
    }
    void acquired() const
    {
        AnnotateRWLockAcquired(__FILE__, __LINE__, lock, isWrite);
    }
    void released() const
    {
        AnnotateRWLockReleased(__FILE__, __LINE__, lock, isWrite);
    }

private:
    const void *lock;
    long isWrite;
#else
    LockNote(const void *, Mode)
    {
    }
    void acquired() const
    {
    }
    void released() const
    {
    }
#endif
    LockNote(const LockNote &) = delete;
    LockNote &operator=(const LockNote &) = delete;
};

class ReadLocker
{
public:
    explicit ReadLocker(QReadWriteLock &lock)
        : locker(&lock)
        , note(&lock, Mode::Read)
    {
    }

private:
    QReadLocker locker;
    LockNote note;
};

class WriteLocker
{
public:
    explicit WriteLocker(QReadWriteLock &lock)
        : locker(&lock)
        , note(&lock, Mode::Write)
    {
    }

private:
    QWriteLocker locker;
    LockNote note;
};

class MutexLocker
{
public:
    explicit MutexLocker(QMutex &mutex)
        : locker(&mutex)
        , note(&mutex, Mode::Write)
    {
    }

    // The wait releases the mutex while it sleeps and holds it again on return.
    void wait(QWaitCondition &condition, unsigned long milliseconds)
    {
        note.released();
        condition.wait(locker.mutex(), milliseconds);
        note.acquired();
    }

private:
    QMutexLocker locker;
    LockNote note;
};

// A lock held only to copy or swap a few words: taken by one exchange and let go
// by a release store, one locked instruction where QMutex takes two. A waiter
// retries for about as long as a few holds take, then gives its core away between
// tries: it waits longer only when the holder itself was stopped. The retries stay
// short of the pause-loop window after which a hypervisor hands the core to
// another guest.
class BriefLock
{
public:
    void lock()
    {
        int retry = 0;
        while (held.exchange(true, std::memory_order_acquire)) {
            while (held.load(std::memory_order_relaxed)) {
                if (++retry < 16) {
                    pause();
                } else {
                    QThread::yieldCurrentThread();
                }
            }
        }
    }

    void unlock()
    {
        held.store(false, std::memory_order_release);
    }

private:
    static void pause()
    {
#if defined(__i386__) || defined(__x86_64__)
        __builtin_ia32_pause();
#endif
    }

    std::atomic<bool> held{false};
};

class BriefLocker
{
public:
    explicit BriefLocker(BriefLock &lock)
        : held(lock)
        , note(&lock, Mode::Write)
    {
    }

private:
    class Held
    {
    public:
        explicit Held(BriefLock &lock)
            : lock(lock)
        {
            lock.lock();
        }
        ~Held()
        {
            lock.unlock();
        }
        Held(const Held &) = delete;
        Held &operator=(const Held &) = delete;

    private:
        BriefLock &lock;
    };

    Held held;
    LockNote note;
};

// A thread's end and the join that waits for it, which Qt 5 also hides.
inline void noteThreadEnd([[maybe_unused]] const void *owner)
{
#ifdef TALVENO_TSAN
    AnnotateHappensBefore(__FILE__, __LINE__, owner);
#endif
}

inline void noteThreadJoined([[maybe_unused]] const void *owner)
{
#ifdef TALVENO_TSAN
    AnnotateHappensAfter(__FILE__, __LINE__, owner);
#endif
}
}
