#include "SwayIpc.h"

#include "platform/linux/FileDescriptor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace Tollgate::Platform {

namespace {
    constexpr char Magic[] = "i3-ipc";
    constexpr qsizetype HeaderSize = 6 + 4 + 4;
    constexpr quint32 GetTree = 4;
    // A tree of thousands of windows stays far below this.
    constexpr quint32 MaxReplySize = 64 * 1024 * 1024;

    bool waitFor(int fd, short events, const QElapsedTimer& clock)
    {
        const qint64 left = SwayIpc::TimeoutMs - clock.elapsed();
        pollfd entry = {fd, events, 0};
        return left > 0 && poll(&entry, 1, int(left)) > 0 && (entry.revents & events);
    }

    bool readExactly(int fd, char* data, qsizetype size, const QElapsedTimer& clock)
    {
        while (size > 0) {
            if (!waitFor(fd, POLLIN, clock))
                return false;
            const ssize_t got = ::recv(fd, data, size_t(size), 0);
            if (got <= 0)
                return false;
            data += got;
            size -= got;
        }
        return true;
    }

    void collect(
        const QJsonObject& node, const QString& appId, const QString& title, QList<QJsonObject>* found)
    {
        if (node.contains(QStringLiteral("pid")) && node.value(QStringLiteral("app_id")).toString() == appId
            && node.value(QStringLiteral("name")).toString() == title)
            found->append(node);
        for (const char* key : {"nodes", "floating_nodes"}) {
            for (const QJsonValue child : node.value(QLatin1StringView(key)).toArray())
                collect(child.toObject(), appId, title, found);
        }
    }
} // namespace

SwayIpc::SwayIpc(QString socketPath)
    : m_socketPath(std::move(socketPath))
{ }

QJsonObject SwayIpc::tree() const
{
    const QByteArray path = QFile::encodeName(m_socketPath);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof(address.sun_path))
        return {};
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.isValid())
        return {};
    QElapsedTimer clock;
    clock.start();
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0
        && !(errno == EINPROGRESS && waitFor(socket.get(), POLLOUT, clock)))
        return {};

    QByteArray request(Magic, 6);
    const quint32 header[2] = {0, GetTree};
    request.append(reinterpret_cast<const char*>(header), sizeof(header));
    if (!waitFor(socket.get(), POLLOUT, clock)
        || ::send(socket.get(), request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size())
        return {};

    char replyHeader[HeaderSize];
    if (!readExactly(socket.get(), replyHeader, HeaderSize, clock) || std::memcmp(replyHeader, Magic, 6) != 0)
        return {};
    quint32 length = 0;
    quint32 type = 0;
    std::memcpy(&length, replyHeader + 6, 4);
    std::memcpy(&type, replyHeader + 10, 4);
    if (type != GetTree || length > MaxReplySize)
        return {};
    QByteArray payload(qsizetype(length), Qt::Uninitialized);
    if (!readExactly(socket.get(), payload.data(), payload.size(), clock))
        return {};
    return QJsonDocument::fromJson(payload).object();
}

ProcessId SwayIpc::findProcessId(
    const QJsonObject& tree, const QString& appId, const QString& title, bool focused)
{
    QList<QJsonObject> found;
    collect(tree, appId, title, &found);
    const auto pidOf = [](const QJsonObject& node) {
        const qint64 pid = node.value(QStringLiteral("pid")).toInteger();
        return pid > 0 && pid <= std::numeric_limits<qint32>::max() ? ProcessId(pid) : ProcessId(0);
    };
    if (found.size() == 1)
        return pidOf(found.first());
    if (focused) {
        for (const QJsonObject& node : std::as_const(found)) {
            if (node.value(QStringLiteral("focused")).toBool())
                return pidOf(node);
        }
    }
    return 0;
}

} // namespace Tollgate::Platform
