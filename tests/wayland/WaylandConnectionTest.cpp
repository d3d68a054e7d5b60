#include "common/TestEnvironment.h"
#include "platform/PlatformFactory.h"
#include "platform/linux/FileDescriptor.h"

#include <QFile>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

using namespace Tollgate::Platform;

namespace {

// A socket that takes connections and never answers: a compositor that hangs.
TEST(WaylandConnection, aCompositorThatNeverAnswersGivesTheNullBackendInsteadOfAHang)
{
    const QString path = Tollgate::Sandbox::folder() + QStringLiteral("/wayland-hung");
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(encoded.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    const FileDescriptor server(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(server.isValid());
    ASSERT_EQ(::bind(server.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(server.get(), 4), 0);

    const auto platform = PlatformFactory::create(QString(), path, QStringLiteral("wayland"));
    EXPECT_TRUE(platform->backendName().startsWith(QStringLiteral("null")))
        << qPrintable(platform->backendName());
    EXPECT_TRUE(platform->backendName().contains(QStringLiteral("does not answer")));
    EXPECT_EQ(platform->windows().foregroundWindow(), 0u);
}

TEST(WaylandConnection, aMissingDisplayGivesTheNullBackendWithTheReason)
{
    const auto platform = PlatformFactory::create(QString(),
        Tollgate::Sandbox::folder() + QStringLiteral("/no-such-wayland"), QStringLiteral("wayland"));
    EXPECT_TRUE(platform->backendName().startsWith(QStringLiteral("null")));
    EXPECT_TRUE(platform->backendName().contains(QStringLiteral("cannot connect")));
}

} // namespace
