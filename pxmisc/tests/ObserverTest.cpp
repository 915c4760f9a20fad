#include "pxmisc/IObserver.h"
#include "pxmisc/ISubject.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A subject is only ever used through a class of the program's own.
class Subject : public ISubject {};

struct Call {
    std::string who;
    std::string event;
    uint32_t data;
    uint32_t arg1;
    uint32_t arg2;

    bool operator==(const Call&) const = default;
};

// Records every Update into a shared journal, and runs `onUpdate` once from inside the first.
class Recorder : public IObserver {
public:
    Recorder(std::string name, std::vector<Call>& journal)
        : m_name(std::move(name)), m_journal(journal) {}
    ~Recorder() override = default;

    void Update(ISubject* /*subject*/, std::string event, uint32_t data, uint32_t arg1,
                uint32_t arg2) override {
        m_journal.push_back({m_name, event, data, arg1, arg2});
        if (onUpdate) {
            const std::function<void()> action = std::move(onUpdate);
            onUpdate = nullptr;
            action();
        }
    }

    std::function<void()> onUpdate;

private:
    std::string m_name;
    std::vector<Call>& m_journal;
};

TEST(SubjectTest, DeliversExactNamesInRegistrationOrderWithEachUserValue) {
    std::vector<Call> journal;
    Subject subject;
    Recorder a("a", journal);
    Recorder b("b", journal);
    subject.AddObserver(&a, "Stopped", 1);
    subject.AddObserver(&b, "Stopped", 2);
    subject.AddObserver(&a, "Completed", 3);
    subject.AddObserver(&a, "Stopped", 4); // a second registration means a second call

    for (const char* other : {"Stop", "stopped", "Stopped ", "", "Nobody"}) {
        subject.NotifyObservers(other, 0, 0);
    }
    EXPECT_TRUE(journal.empty());

    subject.NotifyObservers("Stopped", 7, 8);
    subject.NotifyObservers("Completed", 9, 10);
    EXPECT_EQ(journal, (std::vector<Call>{{"a", "Stopped", 1, 7, 8},
                                          {"b", "Stopped", 2, 7, 8},
                                          {"a", "Stopped", 4, 7, 8},
                                          {"a", "Completed", 3, 9, 10}}));
}

TEST(SubjectTest, EmptyNameMatchesOnlyTheEmptyName) {
    std::vector<Call> journal;
    Subject subject;
    Recorder a("a", journal);
    subject.AddObserver(&a, "", 5);
    subject.NotifyObservers("Loaded", 0, 0);
    subject.NotifyObservers("", 1, 2);
    EXPECT_EQ(journal, (std::vector<Call>{{"a", "", 5, 1, 2}}));
}

TEST(SubjectTest, RemoveObserverDropsEveryRegistrationAndKeepsTheOthersInOrder) {
    std::vector<Call> journal;
    Subject subject;
    Recorder a("a", journal);
    Recorder b("b", journal);
    Recorder c("c", journal);
    subject.AddObserver(&b, "E", 1);
    for (const char* event : {"E", "Loading", "Loaded", "E", "Playing"}) {
        subject.AddObserver(&a, event, 0);
    }
    subject.AddObserver(&c, "E", 2);
    subject.RemoveObserver(&a);
    subject.RemoveObserver(&a); // no longer registered: nothing changes
    for (const char* event : {"E", "Loading", "Loaded", "Playing"}) {
        subject.NotifyObservers(event, 0, 0);
    }
    EXPECT_EQ(journal, (std::vector<Call>{{"b", "E", 1, 0, 0}, {"c", "E", 2, 0, 0}}));
}

TEST(SubjectTest, ObserverAddedDuringDeliveryIsCalledInTheSamePass) {
    std::vector<Call> journal;
    Subject subject;
    Recorder first("first", journal);
    Recorder late("late", journal);
    first.onUpdate = [&] { subject.AddObserver(&late, "E", 9); };
    subject.AddObserver(&first, "E", 1);
    subject.NotifyObservers("E", 0, 0);
    EXPECT_EQ(journal, (std::vector<Call>{{"first", "E", 1, 0, 0}, {"late", "E", 9, 0, 0}}));
}

struct RemovalCase {
    const char* name;
    // Which observer the second one's Update removes: 0 = itself, 1 = the first, 2 = the third.
    int removes;
    std::vector<std::string> expected;
};

class RemovalDuringDeliveryTest : public ::testing::TestWithParam<RemovalCase> {};

// Removing registrations from inside Update must neither skip nor repeat anyone else.
TEST_P(RemovalDuringDeliveryTest, NoEntryIsSkippedOrVisitedTwice) {
    std::vector<Call> journal;
    Subject subject;
    Recorder one("one", journal);
    Recorder two("two", journal);
    Recorder three("three", journal);
    Recorder four("four", journal);
    std::array<Recorder*, 3> targets{&two, &one, &three};
    two.onUpdate = [&] {
        subject.RemoveObserver(targets[static_cast<std::size_t>(GetParam().removes)]);
    };
    for (Recorder* observer : {&one, &two, &three, &four}) {
        subject.AddObserver(observer, "E", 0);
    }
    subject.NotifyObservers("E", 0, 0);
    std::vector<std::string> called;
    for (const Call& call : journal) {
        called.push_back(call.who);
    }
    EXPECT_EQ(called, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Removals, RemovalDuringDeliveryTest,
    ::testing::Values(RemovalCase{"Itself", 0, {"one", "two", "three", "four"}},
                      RemovalCase{"AnEarlierOne", 1, {"one", "two", "three", "four"}},
                      RemovalCase{"ALaterOne", 2, {"one", "two", "four"}}),
    [](const ::testing::TestParamInfo<RemovalCase>& row) { return std::string(row.param.name); });

TEST(SubjectTest, NestedNotificationsEachWalkTheWholeList) {
    std::vector<Call> journal;
    Subject subject;
    Recorder outer("outer", journal);
    Recorder inner("inner", journal);
    outer.onUpdate = [&] {
        subject.NotifyObservers("Inner", 0, 0);
        subject.RemoveObserver(&outer);
    };
    subject.AddObserver(&outer, "Outer", 0);
    subject.AddObserver(&inner, "Inner", 0);
    subject.AddObserver(&inner, "Outer", 1);
    subject.NotifyObservers("Outer", 0, 0);
    EXPECT_EQ(journal, (std::vector<Call>{{"outer", "Outer", 0, 0, 0},
                                          {"inner", "Inner", 0, 0, 0},
                                          {"inner", "Outer", 1, 0, 0}}));
}

TEST(SubjectTest, ACopyNotifiesTheSameObservers) {
    std::vector<Call> journal;
    Subject subject;
    Recorder a("a", journal);
    subject.AddObserver(&a, "E", 3);
    Subject copy(subject);
    Subject assigned;
    assigned = subject;
    subject.RemoveObserver(&a);
    copy.NotifyObservers("E", 1, 0);
    assigned.NotifyObservers("E", 2, 0);
    subject.NotifyObservers("E", 3, 0);
    EXPECT_EQ(journal, (std::vector<Call>{{"a", "E", 3, 1, 0}, {"a", "E", 3, 2, 0}}));
}

} // namespace
