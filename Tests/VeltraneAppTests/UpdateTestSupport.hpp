#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

// Qt strings in test messages and failure reports.
inline std::ostream& operator<<(std::ostream& out, const QString& text) { return out << text.toStdString(); }

// Gives a test the Qt application its event loop needs, unless one is already running.
class QtApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "VeltraneAppTests";
            static char* argv[] = {name, nullptr};
            m_application = std::make_unique<QCoreApplication>(argc, argv);
        }
    }
    void TearDown() override { m_application.reset(); }

    /// Runs the event loop until `condition` holds or `milliseconds` pass; returns whether it holds.
    static bool runUntil(const std::function<bool()>& condition, int milliseconds = 10'000)
    {
        const QDeadlineTimer deadline(milliseconds);
        while (!condition() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return condition();
    }

private:
    std::unique_ptr<QCoreApplication> m_application;
};
