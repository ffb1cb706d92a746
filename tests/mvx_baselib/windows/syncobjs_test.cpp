#include "mvx_syncobjs.h"

#include "mvx_exception.h"
#include "mvx_string.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using Morvenix::String;

namespace {

// The code of the exception f throws; 0 when none.
template <class F>
int thrownCode(F f)
{
    try {
        f();
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("mvx_syncobjs.win(")) << e.what();
        return e.getCode();
    }
    return 0;
}

// A name no other run shares.
String uniqueName(const char* base)
{
    return String((std::string("MvxTest-") + base + "-" + std::to_string(GetCurrentProcessId())).c_str());
}

struct CountingLockable : Morvenix::Lockable {
    void lock() override { ++locks; }
    void unlock() override { ++unlocks; }
    int locks = 0, unlocks = 0;
};

TEST(AutoLock, ReleaseThenDestructionUnlocksOnce)
{
    CountingLockable l;
    {
        Morvenix::AutoLock guard(l);
        EXPECT_EQ(1, l.locks);
        guard.release();
        EXPECT_EQ(1, l.unlocks);
        guard.release();
    }
    EXPECT_EQ(1, l.locks);
    EXPECT_EQ(1, l.unlocks);
    {
        Morvenix::AutoLock guard(&l);
    }
    EXPECT_EQ(2, l.unlocks);
    Morvenix::AutoLock none(static_cast<Morvenix::Lockable*>(nullptr));
    none.release();
}

TEST(Mutex, RecursiveAndReleasedAfterAsManyUnlocks)
{
    Morvenix::Mutex m;
    m.lock();
    m.lock(); // the owner does not block on itself
    m.unlock();
    m.unlock();
    bool taken = false;
    std::thread other([&] {
        Morvenix::AutoLock guard(m);
        taken = true;
    });
    other.join();
    EXPECT_TRUE(taken);
}

TEST(Mutex, ExcludesOtherThreads)
{
    Morvenix::Mutex m;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                Morvenix::AutoLock guard(m);
                long v = counter; // a torn read-modify-write would lose counts
                counter = v + 1;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(80000, counter);
}

Morvenix::OnceFlag g_once;
std::atomic<int> g_runs{0};
std::atomic<bool> g_finished{false};

void slowInitialiser()
{
    ++g_runs;
    for (int i = 0; i < 50; ++i)
        Sleep(1); // long enough for the other callers to arrive while it runs
    g_finished = true;
}

TEST(CallOnce, RunsOnceAndLaterCallersWaitForIt)
{
    std::vector<std::thread> threads;
    std::atomic<int> sawUnfinished{0};
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            Morvenix::callOnce(g_once, slowInitialiser);
            if (!g_finished)
                ++sawUnfinished;
        });
    }
    for (std::thread& t : threads)
        t.join();
    Morvenix::callOnce(g_once, slowInitialiser);
    EXPECT_EQ(1, g_runs);
    EXPECT_EQ(0, sawUnfinished);
}

Morvenix::OnceFlag g_failingOnce;
std::atomic<int> g_failingRuns{0};

// Fails on its first run, after the other callers have had time to start waiting for it.
void failingFirstInitialiser()
{
    const int run = ++g_failingRuns;
    Sleep(30);
    if (run == 1)
        throw Morvenix::Exception(Morvenix::errInitializationFailed, "first run fails", "syncobjs_test", __LINE__,
                                  "failingFirstInitialiser");
}

// The failure reaches the caller that ran the initialiser; a waiting caller runs it again instead of
// waiting for ever, and after that success nobody runs it.
TEST(CallOnce, AThrowingInitialiserIsReportedAndRunAgain)
{
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            try {
                Morvenix::callOnce(g_failingOnce, failingFirstInitialiser);
            } catch (const Morvenix::Exception& e) {
                EXPECT_EQ(Morvenix::errInitializationFailed, e.getCode());
                ++failures;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    Morvenix::callOnce(g_failingOnce, failingFirstInitialiser);
    EXPECT_EQ(1, failures);
    EXPECT_EQ(2, g_failingRuns);
}

// Whether lockable blocks a second thread until the first unlocks. The pause only gives a wrong
// implementation the chance to show itself; a right one passes whatever the timing.
void expectExclusive(Morvenix::Lockable& first, Morvenix::Lockable& second)
{
    first.lock();
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        second.lock();
        acquired = true;
        second.unlock();
    });
    Sleep(50);
    EXPECT_FALSE(acquired);
    first.unlock();
    other.join();
    EXPECT_TRUE(acquired);
}

TEST(Semaphore, CountOneIsALock)
{
    Morvenix::Semaphore s(1, String());
    expectExclusive(s, s);
}

TEST(Semaphore, OneNameOneCount)
{
    String name = uniqueName("sem");
    Morvenix::Semaphore a(1, name), b(1, name);
    expectExclusive(a, b);
}

TEST(Semaphore, Failures)
{
    EXPECT_EQ(Morvenix::errSemInitFailed, thrownCode([] { Morvenix::Semaphore s(0, String()); }));
    Morvenix::Semaphore s(2, String());
    EXPECT_EQ(Morvenix::errUnlockFailed, thrownCode([&] { s.unlock(); })); // beyond its maximum
    s.lock();
    s.lock();
    s.unlock();
    s.unlock();
}

TEST(NamedMutex, ExcludesAcrossObjectsOfOneName)
{
    String name = uniqueName("mutex");
    Morvenix::NamedMutex a(name), b(name);
    expectExclusive(a, b);
    Morvenix::NamedMutex unnamed((String()));
    expectExclusive(unnamed, unnamed);
}

TEST(NamedMutex, AbandonedCountsAsAcquired)
{
    Morvenix::NamedMutex m(uniqueName("abandoned"));
    std::thread owner([&] { m.lock(); });
    owner.join();
    m.lock();
    m.unlock();
}

TEST(NamedMutex, Failures)
{
    Morvenix::NamedMutex m(uniqueName("failures"));
    EXPECT_EQ(Morvenix::errUnlockFailed, thrownCode([&] { m.unlock(); })); // not the owner
    // A backslash after the prefix names a folder of objects that does not exist.
    EXPECT_EQ(Morvenix::errInitializationFailed, thrownCode([] { Morvenix::NamedMutex bad(String("no/such")); }));
}

TEST(Event, AutoResetSignalAndWait)
{
    Morvenix::Event e;
    e.signal();
    e.wait(); // already signalled: returns, and resets it
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        e.wait();
        woke = true;
    });
    Sleep(20);
    EXPECT_FALSE(woke);
    e.signal();
    waiter.join();
    EXPECT_TRUE(woke);
}

} // namespace
