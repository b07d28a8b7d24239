// Every test program runs with a Qt application made before any test: a widget
// one where the program has windows, clipboards or notifications, otherwise a
// core one for event loops, timers and child processes.

#include <gtest/gtest.h>

#ifdef LUMARIENT_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
