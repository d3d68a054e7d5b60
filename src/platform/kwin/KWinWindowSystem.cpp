#include "KWinWindowSystem.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace Tollgate::Platform {

namespace {
    const QString KWinService = QStringLiteral("org.kde.KWin");
    const QString ScriptingPath = QStringLiteral("/Scripting");
    const QString ScriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
    constexpr int CallTimeoutMs = 5000;

    // Runs inside KWin. Reports normal windows and dialogs, topmost first, whenever a window
    // comes, goes, is activated, renamed or raised. %1 is Tollgate's bus name, %2 the path.
    const char* const ReporterSource = R"js(
var tollgateService = %1, tollgatePath = %2;
function tollgateReport() {
    var order = workspace.stackingOrder || workspace.clientList();
    var list = [];
    for (var i = order.length - 1; i >= 0; --i) {
        var w = order[i];
        if (!w || w.specialWindow || !(w.normalWindow || w.dialog))
            continue;
        list.push({id: String(w.internalId), caption: String(w.caption), pid: w.pid,
            active: w.active, transient: w.transient, keepAbove: w.keepAbove});
    }
    callDBus(tollgateService, tollgatePath, "org.tollgate.KWinWindows", "report", JSON.stringify(list));
}
function tollgateWatch(w) {
    w.captionChanged.connect(tollgateReport);
    w.keepAboveChanged.connect(tollgateReport);
}
workspace.clientList().forEach(tollgateWatch);
workspace.clientAdded.connect(function(w) { tollgateWatch(w); tollgateReport(); });
workspace.clientRemoved.connect(tollgateReport);
workspace.clientActivated.connect(tollgateReport);
if (workspace.stackingOrderChanged)
    workspace.stackingOrderChanged.connect(tollgateReport);
tollgateReport();
)js";

    // A JavaScript string literal for any text.
    QString quoted(const QString& text)
    {
        const QByteArray array = QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(array.mid(1, array.size() - 2));
    }
} // namespace

KWinWindowSystem::KWinWindowSystem(const QDBusConnection& bus)
    : m_bus(bus)
    , m_reporterName(QStringLiteral("tollgate-windows-%1").arg(QCoreApplication::applicationPid()))
{
    if (!m_bus.isConnected()) {
        m_error = QStringLiteral("no session bus");
        return;
    }
    if (!m_bus.registerObject(
            QString::fromLatin1(ObjectPath), this, QDBusConnection::ExportScriptableSlots)) {
        m_error
            = QStringLiteral("cannot register %1 on the session bus").arg(QString::fromLatin1(ObjectPath));
        return;
    }
    // KWin reads the script files itself, possibly as another user in a test session.
    QFile::setPermissions(m_folder.path(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
            | QFile::ReadOther | QFile::ExeOther);
    auto* watcher
        = new QDBusServiceWatcher(KWinService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &KWinWindowSystem::onKWinOwnerChanged);
    loadReporter();
}

void KWinWindowSystem::loadReporter()
{
    m_kwinOwner = m_bus.interface() ? m_bus.interface()->serviceOwner(KWinService).value() : QString();
    // A leftover of an earlier run of this process id would keep the new one from loading.
    unloadScript(m_reporterName);
    const QString source = QString::fromUtf8(ReporterSource)
                               .arg(quoted(m_bus.baseService()), quoted(QString::fromLatin1(ObjectPath)));
    if (runScript(m_reporterName, source))
        m_error.clear();
    else if (m_error.isEmpty())
        m_error = QStringLiteral("KWin did not load the window script");
}

void KWinWindowSystem::onKWinOwnerChanged(const QString&, const QString&, const QString& newOwner)
{
    m_windows.clear();
    m_lastCommandName.clear();
    if (newOwner.isEmpty()) {
        m_kwinOwner.clear();
        m_error = QStringLiteral("KWin left the session bus");
        return;
    }
    loadReporter();
}

KWinWindowSystem::~KWinWindowSystem()
{
    if (!m_bus.isConnected())
        return;
    unloadScript(m_reporterName);
    if (!m_lastCommandName.isEmpty())
        unloadScript(m_lastCommandName);
    m_bus.unregisterObject(QString::fromLatin1(ObjectPath));
}

bool KWinWindowSystem::available(const QDBusConnection& bus, QString* error)
{
    if (!bus.isConnected()) {
        *error = QStringLiteral("no session bus (%1)").arg(bus.lastError().message());
        return false;
    }
    if (!bus.interface() || !bus.interface()->isServiceRegistered(KWinService)) {
        *error = QStringLiteral("KWin's D-Bus service (org.kde.KWin) is not on the session bus");
        return false;
    }
    QDBusInterface scripting(KWinService, ScriptingPath, ScriptingInterface, bus);
    scripting.setTimeout(CallTimeoutMs);
    const QDBusReply<bool> reply
        = scripting.call(QStringLiteral("isScriptLoaded"), QStringLiteral("tollgate"));
    if (!reply.isValid()) {
        *error = QStringLiteral("KWin's scripting service does not answer: %1").arg(reply.error().message());
        return false;
    }
    return true;
}

bool KWinWindowSystem::runScript(const QString& pluginName, const QString& source)
{
    QFile file(m_folder.filePath(pluginName + QStringLiteral(".js")));
    if (!m_folder.isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(source.toUtf8()) < 0 || !file.flush()) {
        m_error = QStringLiteral("cannot write the KWin script to %1").arg(m_folder.path());
        return false;
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    file.close();
    QDBusInterface scripting(KWinService, ScriptingPath, ScriptingInterface, m_bus);
    scripting.setTimeout(CallTimeoutMs);
    const QDBusReply<int> id = scripting.call(QStringLiteral("loadScript"), file.fileName(), pluginName);
    if (!id.isValid()) {
        m_error = QStringLiteral("KWin's scripting service does not answer: %1").arg(id.error().message());
        return false;
    }
    if (id.value() < 0)
        return false;
    // start() runs every loaded script that is not running yet.
    return scripting.call(QStringLiteral("start")).type() != QDBusMessage::ErrorMessage;
}

void KWinWindowSystem::unloadScript(const QString& pluginName)
{
    QDBusInterface scripting(KWinService, ScriptingPath, ScriptingInterface, m_bus);
    scripting.setTimeout(CallTimeoutMs);
    scripting.call(QStringLiteral("unloadScript"), pluginName);
}

bool KWinWindowSystem::runOnWindow(WindowId window, const QString& statement)
{
    const QString kwinId = m_windows.compositorId(window);
    if (kwinId.isEmpty() || !m_bus.isConnected())
        return false;
    // A command script has done its work once start() returns; the previous one goes now.
    if (!m_lastCommandName.isEmpty())
        unloadScript(m_lastCommandName);
    m_lastCommandName = QStringLiteral("%1-command-%2").arg(m_reporterName).arg(++m_commandCount);
    const QString source = QStringLiteral("var all = workspace.clientList();\n"
                                          "for (var i = 0; i < all.length; ++i) {\n"
                                          "    var w = all[i];\n"
                                          "    if (String(w.internalId) == %1) { %2; }\n"
                                          "}\n")
                               .arg(quoted(kwinId), statement);
    return runScript(m_lastCommandName, source);
}

void KWinWindowSystem::report(const QString& windows)
{
    if (calledFromDBus() && message().service() != m_kwinOwner)
        return;
    if (m_windows.update(windows.toUtf8()))
        m_reported = true;
}

WindowId KWinWindowSystem::foregroundWindow()
{
    return m_windows.active();
}

QString KWinWindowSystem::windowTitle(WindowId window)
{
    return m_windows.title(window);
}

bool KWinWindowSystem::postCloseRequest(WindowId window)
{
    return runOnWindow(window, QStringLiteral("w.closeWindow()"));
}

qint32 KWinWindowSystem::setTopMost(WindowId window, bool onTop)
{
    const bool sent = runOnWindow(
        window, onTop ? QStringLiteral("w.keepAbove = true") : QStringLiteral("w.keepAbove = false"));
    return sent && onTop ? 1 : 0;
}

QList<TopLevelWindow> KWinWindowSystem::topLevelWindows()
{
    return m_windows.stacking();
}

ProcessId KWinWindowSystem::windowProcessId(WindowId window)
{
    return m_windows.processId(window);
}

QList<CapabilityStatus> KWinWindowSystem::capabilities()
{
    const bool working = m_error.isEmpty() && m_bus.isConnected();
    const QString reason = working ? QString() : m_error;
    auto status = [&](Capability capability, const QString& how) {
        return CapabilityStatus {capability, working, working ? how : reason};
    };
    return {
        status(Capability::ForegroundWindow, QStringLiteral("the active window, reported by a KWin script")),
        status(Capability::WindowTitles, QStringLiteral("window captions, reported by a KWin script")),
        status(Capability::CloseRequests, QStringLiteral("closeWindow() through a KWin script")),
        status(Capability::TopMost, QStringLiteral("keep-above through a KWin script")),
        status(Capability::WindowProcessIds, QStringLiteral("the client's pid, reported by a KWin script")),
        {Capability::WindowEvents, false, QStringLiteral("the script's reports are read at the next tick")}};
}

} // namespace Tollgate::Platform
