#include "XServer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using Tollgate::Test::XServer;

namespace {

QString runCheckPlatform(const QString& display, int* exitCode)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("XDG_SESSION_TYPE"));
    program.setProcessEnvironment(environment);
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate"),
        {QStringLiteral("--check-platform")});
    if (!program.waitForFinished(60000))
        return QString();
    *exitCode = program.exitCode();
    return QString::fromUtf8(program.readAllStandardOutput());
}

TEST(CheckPlatform, reportsEveryCapabilityOfAnX11Session)
{
    if (const QString reason = XServer::unavailableReason(true); !reason.isEmpty())
        GTEST_SKIP() << "X11 tests need a private X server: " << qPrintable(reason);
    XServer server;
    ASSERT_TRUE(server.start(true));

    int exitCode = -1;
    const QString report = runCheckPlatform(server.display(), &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(report.startsWith(QStringLiteral("backend: x11"))) << qPrintable(report);
    for (const char* line : {"foreground window: works", "window titles: works", "close requests: works",
             "topmost placement: works", "window process ids: works", "key activity: works", "cursor: works",
             "process names: works", "termination rights: works"})
        EXPECT_TRUE(report.contains(QLatin1StringView(line))) << line << "\n" << qPrintable(report);
}

TEST(CheckPlatform, withoutADisplaySaysWindowRulesNeedAnX11Session)
{
    int exitCode = -1;
    const QString report = runCheckPlatform(QString(), &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(report.startsWith(QStringLiteral("backend: null"))) << qPrintable(report);
    EXPECT_TRUE(report.contains(QStringLiteral("foreground window: unavailable")));
    EXPECT_TRUE(report.contains(QStringLiteral("window rules need an X11 session")));
    EXPECT_TRUE(report.contains(QStringLiteral("process names: works")));
}

} // namespace
