#include "tools/CObserverList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using kvu::tools::CObserverList;

namespace {

// Names itself in the shared log and runs what the test gives it.
struct Observer {
    Observer(std::string name, std::vector<std::string>& log) : name(std::move(name)), log(log) {}
    void Notice() {
        log.push_back(name);
        if (onNotice)
            onNotice();
    }

    std::string name;
    std::vector<std::string>& log;
    std::function<void()> onNotice;
};

void notify(CObserverList<Observer>& list) {
    list.ForEach([](Observer& observer) { observer.Notice(); });
}

TEST(ObserverList, KeepsEachObserverOnceInOrder) {
    std::vector<std::string> log;
    Observer a{"a", log}, b{"b", log};
    CObserverList<Observer> list;
    EXPECT_FALSE(list.Add(nullptr));
    EXPECT_TRUE(list.Add(&a));
    EXPECT_TRUE(list.Add(&b));
    EXPECT_TRUE(list.Add(&a));
    notify(list);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(list.Remove(&a));
    EXPECT_FALSE(list.Remove(&a));
    list.Clear();
    notify(list);
    EXPECT_EQ(log.size(), 2u);
}

// The lock is not held during a call, so none of these deadlock; an
// observer's leaving does not make the next one miss its turn.
TEST(ObserverList, ObserversComeAndGoFromInsideANotification) {
    std::vector<std::string> log;
    CObserverList<Observer> list;
    Observer a{"a", log}, b{"b", log}, c{"c", log}, d{"d", log};
    a.onNotice = [&] { list.Remove(&a); };
    b.onNotice = [&] {
        list.Remove(&c);
        list.Add(&d);
    };
    for (Observer* observer : {&a, &b, &c})
        list.Add(observer);
    notify(list);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
    notify(list);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "b", "d"}));
}

// Each call waits until both threads are inside it: had the list held its
// lock during calls, the second thread could not get in.
struct Meeting {
    std::mutex mutex;
    std::condition_variable changed;
    int inside = 0;
    bool Enter() {
        std::unique_lock lock(mutex);
        ++inside;
        changed.notify_all();
        return changed.wait_for(lock, std::chrono::seconds(10), [this] { return inside == 2; });
    }
};

TEST(ObserverList, SeveralThreadsNotifyAtOnce) {
    Meeting meeting;
    CObserverList<Meeting> list;
    list.Add(&meeting);
    bool hasMetHere = false;
    bool hasMetThere = false;
    std::thread other([&] { list.ForEach([&](Meeting& m) { hasMetThere = m.Enter(); }); });
    list.ForEach([&](Meeting& m) { hasMetHere = m.Enter(); });
    other.join();
    EXPECT_TRUE(hasMetHere);
    EXPECT_TRUE(hasMetThere);
}

} // namespace
