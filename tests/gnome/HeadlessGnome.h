#pragma once

#include "platform/gnome/GnomeWindowSystem.h"
#include "platform/wayland/WaylandConnection.h"
#include "wayland/HeadlessCompositor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDirIterator>

namespace Tollgate::Test {

// A private headless GNOME Shell (one 1024 x 768 virtual monitor) on a private session bus,
// with a second private bus standing in for the system bus (the shell aborts without one),
// in a runtime folder of its own; as root it runs as nobody. Tollgate's extension as built
// and the tests' helper extension are installed for the shell's user. Settings live in
// memory, so each start is a first login: Tollgate enables its extension itself.
class HeadlessGnome : public HeadlessCompositor
{
public:
    static inline const QString HelperUuid = QStringLiteral("tollgate-test@tollgate.org");

    HeadlessGnome()
        : HeadlessCompositor(str("gnome-shell"), str("wayland-gnome"))
    { }
    ~HeadlessGnome() override
    {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(str("tollgate-gnome-test"));
    }

    static QString unavailableReason() { return missing({"gnome-shell", "dbus-daemon"}, "running as root"); }

    bool start(QString* error)
    {
        if (!startBus(str("bus"), error) || !startBus(str("system-bus"), error))
            return false;
        m_bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(busAddress(), str("tollgate-gnome-test")));
        return restart(true, error);
    }

    // Ends the shell, as a crash would, and starts it again on the same buses; with or
    // without Tollgate's extension installed. Also the first start.
    bool restart(bool withExtension, QString* error)
    {
        killCompositor();
        const QString extensions = m_runtime.filePath(str(".local/share/gnome-shell/extensions"));
        QDir(extensions).removeRecursively();
        if (!copyFolder(str(TOLLGATE_GNOME_TEST_EXTENSIONS), extensions)
            || (withExtension && !copyFolder(str(TOLLGATE_GNOME_EXTENSIONS), extensions))) {
            *error = str("cannot install the extensions");
            return false;
        }
        QStringList handOver {m_runtime.filePath(str(".local"))};
        for (QDirIterator it(m_runtime.filePath(str(".local")), QDir::AllEntries | QDir::NoDotAndDotDot,
                 QDirIterator::Subdirectories);
             it.hasNext();)
            handOver << it.next();
        const QStringList arguments {str("--headless"), str("--wayland"), str("--no-x11"),
            str("--virtual-monitor"), str("%1x%2").arg(Width).arg(Height), str("--wayland-display"),
            socketName()};
        const QStringList settings {str("DBUS_SESSION_BUS_ADDRESS=") + busAddress(),
            str("DBUS_SYSTEM_BUS_ADDRESS=") + busAddress(str("system-bus")), str("GSETTINGS_BACKEND=memory"),
            str("XDG_CURRENT_DESKTOP=GNOME")};
        const auto answers = [this] {
            QString ignored;
            return Platform::WaylandConnection::open(QFile::encodeName(displayPath()), &ignored) != nullptr;
        };
        // The helper leaves the overview once the shell has started.
        const auto helperReady = [this] {
            shellCall(str("/org/gnome/Shell"), str("org.gnome.Shell.Extensions"), str("EnableExtension"),
                {HelperUuid});
            return shellCall(str("/org/tollgate/GnomeShellTest"), str("org.tollgate.GnomeShellTest"),
                str("HideOverview"), {});
        };
        return startCompositor(str("gnome-shell"), arguments, settings, handOver, error)
            && waitForCompositor(answers, "does not answer on its socket", error)
            && waitForCompositor(helperReady, "did not load the test helper extension", error);
    }

    // The virtual pointer to this position of the monitor.
    bool movePointer(int x, int y)
    {
        return shellCall(str("/org/tollgate/GnomeShellTest"), str("org.tollgate.GnomeShellTest"),
            str("MovePointer"), {double(x), double(y)});
    }

    // Gives the window of this title the focus, as a click would.
    bool activate(const QString& title)
    {
        return shellCall(str("/org/tollgate/GnomeShellTest"), str("org.tollgate.GnomeShellTest"),
            str("Activate"), {title});
    }
    bool typeLine(const QString& text)
    {
        return shellCall(
            str("/org/tollgate/GnomeShellTest"), str("org.tollgate.GnomeShellTest"), str("TypeLine"), {text});
    }

    // A call into the shell on a connection of the test's own; whether it was answered.
    bool shellCall(
        const QString& path, const QString& interface, const QString& method, const QVariantList& arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(str("org.gnome.Shell"), path, interface, method);
        call.setArguments(arguments);
        return m_bus && m_bus->call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
    }

    QProcessEnvironment clientEnvironment() const override
    {
        QProcessEnvironment environment = HeadlessCompositor::clientEnvironment();
        environment.insert(str("DBUS_SESSION_BUS_ADDRESS"), busAddress());
        environment.remove(str("SWAYSOCK"));
        // mutter leaves the title bars to the clients, and Qt's load Mesa's EGL, whose driver
        // keeps memory to the end of the process.
        environment.insert(str("QT_WAYLAND_DISABLE_WINDOWDECORATION"), str("1"));
        // Qt's Wayland client leaves the compositor's globals when it exits (there is no
        // request to free some of them): the sanitizer build reports that of every client
        // that ends cleanly, as the program does here. Its own Wayland code is checked in
        // the Wayland tests, where the test itself is the client.
        const QString options = environment.value(str("LSAN_OPTIONS"));
        const QString suppressions = options.section(str("suppressions="), 1).section(u':', 0, 0);
        if (!suppressions.isEmpty()) {
            const QString extended = m_runtime.filePath(str("lsan.supp"));
            QFile file(extended);
            if (file.open(QIODevice::WriteOnly))
                file.write(Sandbox::readFile(suppressions) + "leak:libwayland-client.so\n");
            environment.insert(str("LSAN_OPTIONS"), QString(options).replace(suppressions, extended));
        }
        return environment;
    }

private:
    static bool copyFolder(const QString& from, const QString& to)
    {
        return QDir().mkpath(to) && QProcess::execute(str("cp"), {str("-R"), from + str("/."), to}) == 0;
    }

    std::unique_ptr<QDBusConnection> m_bus;
};

} // namespace Tollgate::Test
