#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Before anything reads the environment: a private home for this process alone.
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/tollgate-test-XXXXXX"));
    if (!sandbox.isValid())
        return 1;
    Tollgate::Sandbox::enter(sandbox);

    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    Tollgate::Sandbox::enterFreshFolderForEachTest();
    return RUN_ALL_TESTS();
}
