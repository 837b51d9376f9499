#pragma once

// ThreadSanitizer does not see the synchronisation inside Qt (its mutexes are
// futexes in a library built without TSan), so our thread crossings tell it
// what Qt's event queue guarantees. Everything here is empty without TSan.

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define TANDREL_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TANDREL_TSAN 1
#endif
#endif

#ifdef TANDREL_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

// What this thread did so far happens before whatever follows a later
// tsanAcquire of the same key on another thread.
inline void tsanRelease([[maybe_unused]] const void *key)
{
#ifdef TANDREL_TSAN
    __tsan_release(const_cast<void *>(key));
#endif
}

inline void tsanAcquire([[maybe_unused]] const void *key)
{
#ifdef TANDREL_TSAN
    __tsan_acquire(const_cast<void *>(key));
#endif
}

// The last member of an object Qt copies for another thread (a queued
// signal's argument is copied inside the emit): copied after the members
// before it, it releases them to the receiver's arrived().
struct TsanHandoff {
    TsanHandoff() = default;
    TsanHandoff(const TsanHandoff &) { tsanRelease(this); }
    TsanHandoff &operator=(const TsanHandoff &)
    {
        tsanRelease(this);
        return *this;
    }
    ~TsanHandoff() = default;
    void arrived() const { tsanAcquire(this); }
};

// A functor queued to an object of another thread. Qt frees it on whichever
// thread drops the last reference, so the call acquires what the sender did
// and releases what it did itself, and the destruction acquires both.
template <typename F> class TsanQueued {
public:
    explicit TsanQueued(F f) : f_(std::move(f)) {}
    TsanQueued(const TsanQueued &) = default;
    TsanQueued(TsanQueued &&) = default;
    TsanQueued &operator=(const TsanQueued &) = delete;
    TsanQueued &operator=(TsanQueued &&) = delete;
    ~TsanQueued() { tsanAcquire(&mark_); }

    void operator()()
    {
        tsanAcquire(&mark_);
        f_();
        tsanRelease(&mark_);
    }

private:
    struct Mark {
        Mark() = default;
        Mark(const Mark &) { tsanRelease(this); }
        Mark &operator=(const Mark &) = delete;
        ~Mark() = default;
    };
    F f_;
    Mark mark_; // after f_: copied after it
};

template <typename F> TsanQueued<F> tsanQueued(F f)
{
    return TsanQueued<F>(std::move(f));
}
