// Delayed tasks on the Qt event loop: each runs once after its delay, and a cancelled one never runs.

#include "Veltrane/Model/TaskScheduler.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace veltrane;

TEST(ModelTaskScheduler, RunsTasksOnTheEventLoopUnlessCancelled)
{
    int argc = 1;
    char name[] = "VeltraneAppTests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtTaskScheduler scheduler;

    std::vector<int> ran;
    auto late = scheduler.after(std::chrono::milliseconds(40), [&] { ran.push_back(40); });
    auto cancelled = scheduler.after(std::chrono::milliseconds(10), [&] { ran.push_back(10); });
    scheduler.after(std::chrono::milliseconds(20), [&] { ran.push_back(20); }); // handle dropped: still runs
    cancelled->cancel();
    EXPECT_TRUE(cancelled->isCancelled());
    EXPECT_TRUE(ran.empty()); // nothing runs before the loop does

    QElapsedTimer clock;
    clock.start();
    while (ran.size() < 2 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(ran, (std::vector<int>{20, 40}));
    late->cancel(); // after it ran: nothing happens
    EXPECT_EQ(ran.size(), 2u);
}
