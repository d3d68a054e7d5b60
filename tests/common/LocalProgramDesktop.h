#pragma once

#include "NamedProgram.h"
#include "ProgramDriver.h"

#include <QCoreApplication>
#include <map>

namespace Tollgate::Test {

// What the Linux desktops for the real program share: the program copied from the build
// (the including target defines TOLLGATE_BINARY), sleeping programs under names of their
// own, and Qt windows of tollgate_test_window, which exits with 0 when asked to close.
class LocalProgramDesktop : public ProgramDesktop
{
public:
    QString installProgram(const QString& folder) override
    {
        const QString path = folder + QStringLiteral("/tollgate");
        return QFile::copy(QStringLiteral(TOLLGATE_BINARY), path) ? path : QString();
    }
    QString makeSleeper(const QString& folder, const QString& prefix) override
    {
        auto sleeper = std::make_unique<NamedProgram>(prefix, folder);
        const QString path = sleeper->ready() ? sleeper->path() : QString();
        m_sleepers[sleeper->name()] = std::move(sleeper);
        return path;
    }
    QStringList sleepArguments() override { return {QStringLiteral("600")}; }
    QStringList windowCommand(const QString& title) override
    {
        return {QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_test_window"), title};
    }
    int closedWindowExitCode() override { return 0; }
    int running(const QString& fileName) override { return m_sleepers.at(fileName)->running(); }
    void endAll(const QString& fileName) override { m_sleepers.at(fileName)->killAll(); }

private:
    std::map<QString, std::unique_ptr<NamedProgram>> m_sleepers;
};

} // namespace Tollgate::Test
