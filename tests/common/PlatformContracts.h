#pragma once

#include "common/ChildProcesses.h"
#include "common/TestEnvironment.h"
#include "common/WaitUntil.h"
#include "platform/ProcessTable.h"
#include "platform/SingleInstance.h"

#include <QDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace Tollgate::Test {

// What every backend's process table and single-instance claim must do. A backend's test
// instantiates it with a traits type that names its Table (a default-constructible
// ProcessTable), its Instance (a SingleInstance made from instanceName()) and a Program:
// a long-running program under a name of the test's own that ends with the object, with
// ready(), path() and name() as the table reports it; arguments() keep it running.
template<typename Traits> class BackendContract : public testing::Test
{
protected:
    QString commandLine() const
    {
        return u'"' + QDir::toNativeSeparators(m_program.path()) + QStringLiteral("\" ")
            + Traits::arguments().join(u' ');
    }
    bool runs(Platform::ProcessId pid)
    {
        return m_table.snapshot().contains(Platform::ProcessEntry {pid, m_program.name()});
    }

    typename Traits::Program m_program;
    typename Traits::Table m_table;
};

TYPED_TEST_SUITE_P(BackendContract);

TYPED_TEST_P(BackendContract, listsStartsAndEndsProcessesInPidOrderButNoBrokenLines)
{
    using namespace Platform;
    ASSERT_TRUE(this->m_program.ready());
    // One the test owns, so that its end can be awaited, and one the table starts detached.
    ChildProcesses children;
    QProcess* owned = children.start(this->m_program.path(), TypeParam::arguments());
    ASSERT_NE(owned, nullptr);
    const auto ownedPid = ProcessId(owned->processId());
    const ProcessId started = this->m_table.start(this->commandLine());
    ASSERT_NE(started, 0u) << this->commandLine().toStdString();
    EXPECT_TRUE(waitUntil([&] { return this->runs(ownedPid) && this->runs(started); }));
    // The lookup by name takes the first of a name as the oldest.
    const QList<ProcessEntry> all = this->m_table.snapshot();
    EXPECT_TRUE(std::is_sorted(
        all.begin(), all.end(), [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; }));

    EXPECT_EQ(this->m_table.terminate(started), TerminateResult::Terminated);
    EXPECT_EQ(this->m_table.terminate(ownedPid), TerminateResult::Terminated);
    EXPECT_TRUE(waitUntil([&] { return ChildProcesses::exited(owned) && !this->runs(started); }));
    EXPECT_FALSE(this->runs(ownedPid));
    EXPECT_EQ(this->m_table.terminate(ownedPid), TerminateResult::NoSuchProcess);

    const QString path = QDir::toNativeSeparators(this->m_program.path());
    for (const QString& line : {QString(), str("   "), str("tollgate-no-such-program-4711 -x"),
             u'"' + path + QStringLiteral("-missing\" 60"), u'"' + path + QStringLiteral(" 60")})
        EXPECT_EQ(this->m_table.start(line), 0u) << line.toStdString();
}

// Programs the table starts must not keep the claim, else an Always Run program would keep
// Tollgate from ever starting again.
TYPED_TEST_P(BackendContract, aSecondInstanceSeesTheFirstUntilItEndsButNoProgramItStarted)
{
    using Instance = typename TypeParam::Instance;
    ASSERT_TRUE(this->m_program.ready());
    auto first = std::make_unique<Instance>(TypeParam::instanceName());
    EXPECT_FALSE(first->otherInstanceRuns());
    EXPECT_FALSE(first->otherInstanceRuns()) << "asking again does not see itself";
    const Platform::ProcessId started = this->m_table.start(this->commandLine());
    ASSERT_NE(started, 0u);
    Instance second(TypeParam::instanceName());
    EXPECT_TRUE(second.otherInstanceRuns());
    first.reset();
    EXPECT_FALSE(second.otherInstanceRuns()) << "the program the first started holds no claim";
    EXPECT_TRUE(Instance(TypeParam::instanceName()).otherInstanceRuns()) << "the second holds it now";
    this->m_table.terminate(started);
}

REGISTER_TYPED_TEST_SUITE_P(BackendContract, listsStartsAndEndsProcessesInPidOrderButNoBrokenLines,
    aSecondInstanceSeesTheFirstUntilItEndsButNoProgramItStarted);

} // namespace Tollgate::Test
