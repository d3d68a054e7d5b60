// What both guards share: when the session program starts again, how often a blocked
// program is logged, and how a program is known whatever it is called.
#include "guard/ExecPolicy.h"
#include "guard/GuardConfig.h"
#include "guard/GuardLog.h"
#include "guard/RestartPolicy.h"

#include <gtest/gtest.h>

using namespace Tollgate;

namespace {

TEST(GuardCoreTest, RestartsSoonButBacksOffFromAProgramThatKeepsEndingAtOnce)
{
    struct End
    {
        bool exitedNormally;
        int exitCode;
        qint64 ranMs;
        std::optional<int> delayMs;
    };
    const End ends[] = {
        {false, 9, 10, 200}, // killed at once
        {true, 1, 10, 400}, {true, 1, -1, 800}, // could not be started
        {true, 3, RestartPolicy::SettleMs, RestartPolicy::RestartDelayMs}, // had run a while
        {true, 0, 10, std::nullopt}, // the administrator's Quit
    };
    RestartPolicy policy;
    for (const End& end : ends)
        EXPECT_EQ(policy.ended(end.exitedNormally, end.exitCode, end.ranMs), end.delayMs) << end.exitCode;
    for (int i = 0; i < 20; ++i)
        policy.ended(false, 9, 0);
    EXPECT_EQ(policy.ended(false, 9, 0), RestartPolicy::MaxDelayMs);
}

TEST(GuardCoreTest, LogsAProgramStartedOverAndOverFiveTimesASecondWithHowManyWereLeftOut)
{
    GuardLog log;
    for (int i = 0; i < GuardLog::PerSecond; ++i)
        EXPECT_EQ(log.admit(QStringLiteral("a"), 100 + i), 0);
    EXPECT_EQ(log.admit(QStringLiteral("a"), 200), std::nullopt);
    EXPECT_EQ(log.admit(QStringLiteral("a"), 300), std::nullopt);
    EXPECT_EQ(log.admit(QStringLiteral("b"), 300), 0);
    EXPECT_EQ(log.admit(QStringLiteral("a"), 1100), 2);
}

TEST(GuardCoreTest, KnowsABlockedProgramByNameOriginalNameOrContent)
{
    const auto file = [](const char* path, const QByteArray& content, const char* original = "") {
        Platform::ProgramFile file;
        file.path = QString::fromLatin1(path);
        file.inode = qHash(file.path);
        file.size = content.size();
        file.originalName = QString::fromLatin1(original);
        file.read = [content](qint64 offset, qint64 length) { return content.mid(offset, length); };
        return file;
    };
    ExecPolicy policy;
    policy.setBlockedNames({QStringLiteral("game.exe")});
    ASSERT_TRUE(policy.learn(file("C:/games/game.exe", "game bytes"), QStringLiteral("game.exe")));
    const struct
    {
        Platform::ProgramFile file;
        QString rule;
        bool byContent;
    } cases[] = {
        {file("C:/x/GAME.EXE", "other bytes"), QStringLiteral("game.exe"), false},
        {file("C:/x/notes.exe", "other bytes", "Game.exe"), QStringLiteral("game.exe"), true},
        {file("C:/x/notes.exe", "game bytes"), QStringLiteral("game.exe"), true},
        {file("C:/x/homework.exe", "gamebytes!"), QString(), false}, // the same size only
        {file("C:/x/notes.exe", "other bytes", "notes.exe"), QString(), false},
    };
    for (const auto& [program, rule, byContent] : cases) {
        const ExecPolicy::Verdict verdict = policy.decide(program);
        EXPECT_EQ(verdict.rule, rule) << qPrintable(program.path + u' ' + program.originalName);
        EXPECT_EQ(verdict.byContent, byContent) << qPrintable(program.path);
    }
}

TEST(GuardCoreTest, ReadsAccountsAndGroupsFromOneValue)
{
    GuardConfig config;
    config.addAccounts(QStringLiteral(" pupil1, LAB\\pupil2 @Users,@LAB\\Pupils "));
    EXPECT_EQ(config.accounts, (QStringList {QStringLiteral("pupil1"), QStringLiteral("LAB\\pupil2")}));
    EXPECT_EQ(config.groups, (QStringList {QStringLiteral("Users"), QStringLiteral("LAB\\Pupils")}));
}

} // namespace
