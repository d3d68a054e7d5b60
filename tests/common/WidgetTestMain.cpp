#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The main of the widget tests: the same private home as every test, and a QApplication
// on the offscreen platform, so that no window reaches a real screen.
int main(int argc, char** argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/tollgate-test-XXXXXX"));
    if (!sandbox.isValid())
        return 1;
    Tollgate::Sandbox::enter(sandbox);
    // Windows' Qt has no offscreen platform: under Wine the windows go to a private X server.
    const QByteArray platform = qgetenv("TOLLGATE_TEST_QPA");
    qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);

    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    Tollgate::Sandbox::enterFreshFolderForEachTest();
    return RUN_ALL_TESTS();
}
