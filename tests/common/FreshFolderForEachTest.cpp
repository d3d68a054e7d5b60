#include "TestEnvironment.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace Tollgate::Sandbox {

namespace {

    class FreshFolderForEachTest : public testing::EmptyTestEventListener
    {
    public:
        explicit FreshFolderForEachTest(QString parent)
            : m_parent(std::move(parent))
        { }

        void OnTestStart(const testing::TestInfo&) override
        {
            m_folder = std::make_unique<QTemporaryDir>(m_parent + QStringLiteral("/test-XXXXXX"));
            if (m_folder->isValid())
                enter(*m_folder);
        }

        void OnTestEnd(const testing::TestInfo&) override { m_folder.reset(); }

    private:
        QString m_parent;
        std::unique_ptr<QTemporaryDir> m_folder;
    };

} // namespace

void enterFreshFolderForEachTest()
{
    // The listener list owns its listeners.
    testing::UnitTest::GetInstance()->listeners().Append(new FreshFolderForEachTest(folder()));
}

} // namespace Tollgate::Sandbox
