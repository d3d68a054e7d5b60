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

// A socket that takes connections and never answers (a compositor that hangs): the null
// backend with the reason, instead of a hang. A display that is not there is
// FakePlatformTest's.
TEST(WaylandConnection, aHungCompositorGivesTheNullBackendWithTheReason)
{
    const QString hung = Tollgate::Sandbox::folder() + str("/wayland-hung");
    const QByteArray encoded = QFile::encodeName(hung);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(encoded.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    const FileDescriptor server(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(server.isValid());
    ASSERT_EQ(::bind(server.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(server.get(), 4), 0);

    const auto platform = PlatformFactory::create(QString(), hung, str("wayland"));
    EXPECT_TRUE(platform->backendName().startsWith(str("null"))) << qPrintable(platform->backendName());
    EXPECT_TRUE(platform->backendName().contains(str("does not answer")))
        << qPrintable(platform->backendName());
    EXPECT_EQ(platform->windows().foregroundWindow(), 0u);
}

} // namespace
