#pragma once

// Widget tests run real widgets on the offscreen platform, in a QApplication of their own.

#include "ModelTestSupport.hpp"

#include <QApplication>
#include <QTest>


namespace veltrane::testing {

// The application lives until the process ends, so widgets a fixture owns go before it does.
class WidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "VeltraneAppTests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv); // never deleted: its teardown at exit races the toolkit's own statics
        }
    }

    static void settle() { QApplication::processEvents(); }
};

} // namespace veltrane::testing
