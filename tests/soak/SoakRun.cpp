// The survey left running against churn: real processes from /proc starting and ending
// all the time, X windows (on a private Xvfb) opening, retitling and closing, idle periods
// coming and going. At the end it checks that every blocked process was ended, nothing
// else was touched, Always Run kept its program running, and that resident memory and
// open file descriptors stayed flat.
//
//   tollgate_soak [--seconds N] [--report FILE] [--no-windows]
//
// Exits 0 when every check held, 1 when one failed.
#include "XServer.h"
#include "common/TestEnvironment.h"
#include "platform/Platform.h"
#include "platform/fake/FakeDesktopShell.h"
#include "platform/fake/FakeInputDevices.h"
#include "platform/linux/ProcProcessTable.h"
#include "platform/null/NullWindowSystem.h"
#include "platform/x11/X11InputDevices.h"
#include "platform/x11/X11WindowSystem.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"
#include "survey/SurveyNotifier.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace Tollgate;

namespace {

enum class Kind { Blocked, Watched, Idle, OkWindow, BlockedWindow };

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Blocked:
        return "blocked process";
    case Kind::Watched:
        return "other process";
    case Kind::Idle:
        return "close-when-idle process";
    case Kind::OkWindow:
        return "allowed window";
    case Kind::BlockedWindow:
        return "blocked window";
    }
    return "?";
}

struct Child
{
    Kind kind;
    qint64 startedMs;
    bool aliveAtTimeout = false; // a Close when Idle process that was running when idle time ran out
};

struct Counts
{
    int started = 0;
    int asExpected = 0;
    int wrong = 0;
};

qint64 residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (::sysconf(_SC_PAGESIZE) / 1024) : -1;
}

qint64 openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

class Soak : public SurveyNotifier
{
public:
    Soak(int seconds, bool windows, QString report)
        : m_seconds(seconds)
        , m_report(std::move(report))
        , m_wantWindows(windows)
    { }

    bool setUp();
    int run();

    void showBlockMessage() override { ++m_blockMessages; }
    void showTimeoutMessage() override
    {
        ++m_timeouts;
        // As the timeout message does when its countdown ends, but outside the tick.
        QTimer::singleShot(0, [this] {
            for (auto& [pid, child] : m_children) {
                if (child.kind == Kind::Idle)
                    child.aliveAtTimeout = true;
            }
            m_cycle->processSurvey().CloseIdleProcesses();
        });
    }
    void showPasswordPrompt() override { }

private:
    // Names of this run's own, so that runs side by side leave each other's programs alone.
    QString name(const char* base) const
    {
        return QString::fromLatin1(base) + u'-' + QString::number(QCoreApplication::applicationPid());
    }
    QString program(const char* base) const { return m_folder.filePath(name(base)); }
    pid_t spawn(const QString& path, const QStringList& arguments);
    void churn();
    void reap(bool wait);
    void record(pid_t pid, const Child& child, int status);
    void checkKeeper();
    void finish();
    qint64 now() const { return m_elapsed.elapsed(); }
    void note(const QString& line);

    int m_seconds;
    QString m_report;
    bool m_wantWindows;
    QTemporaryDir m_folder {Sandbox::folder() + QStringLiteral("/soak-XXXXXX")};
    QString m_windowHelper;
    QString m_windowsNote;
    std::unique_ptr<Test::XServer> m_server;
    RuleSet m_rules;
    std::function<void(QPoint)> m_moveCursor; // the user moving the mouse
    std::unique_ptr<Platform::Platform> m_platform;
    SystemClock m_clock;
    std::unique_ptr<ActivityLog> m_log;
    std::unique_ptr<SurveyCycle> m_cycle;
    Platform::ProcProcessTable m_observer; // the harness's own view of /proc
    QRandomGenerator m_random {20261206};
    QElapsedTimer m_elapsed;
    std::map<pid_t, Child> m_children;
    std::map<Kind, Counts> m_counts;
    QStringList m_failures;
    int m_blockMessages = 0;
    int m_timeouts = 0;
    int m_idlePeriods = 0;
    bool m_idle = false;
    qint64 m_phaseEndsTick = 0;
    qint64 m_nextMoveTick = 0;
    int m_windowsOpen = 0;
    int m_windowSerial = 0;
    // Always Run: how often we ended its program and how long it took to come back.
    int m_keeperKills = 0;
    int m_keeperReturns = 0;
    qint64 m_keeperGoneSinceMs = -1;
    qint64 m_keeperLongestGapMs = 0;
    qint64 m_nextKeeperKillMs = 0;
    qint64 m_ticks = 0;
    qint64 m_startRss = 0, m_startFds = 0, m_peakRss = 0, m_peakFds = 0;
    bool m_sampled = false;
};

void Soak::note(const QString& line)
{
    const QByteArray text = line.toLocal8Bit() + '\n';
    std::fputs(text.constData(), stdout);
    std::fflush(stdout);
    if (!m_report.isEmpty()) {
        QFile file(m_report);
        if (file.open(QIODevice::Append))
            file.write(text);
    }
}

bool Soak::setUp()
{
    if (!m_folder.isValid())
        return false;
    // Programs of our own names, so that the rules touch nothing else on this machine.
    for (const char* name : {"soakgame", "soakwatch", "soakidle", "soakkeeper"}) {
        if (!QFile::copy(QStringLiteral("/bin/sleep"), program(name)))
            return false;
    }
    m_windowHelper = QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_soak_window");

    std::unique_ptr<Platform::WindowSystem> windows;
    std::unique_ptr<Platform::InputDevices> input;
    if (!m_wantWindows) {
        m_windowsNote = QStringLiteral("windows: skipped (--no-windows)");
    } else if (const QString reason = Test::XServer::unavailableReason(false); !reason.isEmpty()) {
        m_windowsNote = QStringLiteral("windows: skipped (%1)").arg(reason);
    } else {
        m_server = std::make_unique<Test::XServer>();
        QString error;
        std::shared_ptr<Platform::X11Connection> connection;
        if (m_server->start(false))
            connection = Platform::X11Connection::open(m_server->display().toLatin1(), &error);
        if (!connection) {
            m_windowsNote
                = QStringLiteral("windows: skipped (the private X server did not start %1)").arg(error);
            m_server.reset();
        } else {
            windows = std::make_unique<Platform::X11WindowSystem>(connection);
            // The real input backend, as in the program; it also takes the connection's events.
            input = std::make_unique<Platform::X11InputDevices>(connection);
            m_moveCursor = [this](QPoint to) {
                Platform::X11Connection& x = m_server->connection();
                xcb_warp_pointer(x.get(), XCB_NONE, x.root(), 0, 0, 0, 0, qint16(to.x()), qint16(to.y()));
                xcb_flush(x.get());
            };
            m_windowsNote = QStringLiteral("windows: private Xvfb on %1").arg(m_server->display());
            qputenv("DISPLAY", m_server->display().toLatin1());
        }
    }
    if (!windows)
        windows = std::make_unique<Platform::NullWindowSystem>(m_windowsNote);
    if (!input) {
        auto fake = std::make_unique<Platform::FakeInputDevices>();
        m_moveCursor = [devices = fake.get()](QPoint to) { devices->moveCursor(to); };
        input = std::move(fake);
    }
    m_platform
        = std::make_unique<Platform::Platform>(QStringLiteral("soak"), std::move(windows), std::move(input),
            std::make_unique<Platform::ProcProcessTable>(), std::make_unique<Platform::FakeDesktopShell>());

    m_rules.setIdleTime(RuleSet::MinIdleTime);
    m_rules.windowRules().resetRows({{QStringLiteral("*soak game*"), QStringLiteral("(1) Block")},
        {QStringLiteral("*soak notes*front*"), QStringLiteral("(2) Bring To Front")}});
    m_rules.processRules().resetRows({{name("soakgame"), QStringLiteral("(3) Block")},
        {name("soakidle"), QStringLiteral("(1) Close Process when Computer is Idle")},
        {name("soakkeeper"), QStringLiteral("(2) Always Run"),
            QStringLiteral("\"%1\" 100000").arg(program("soakkeeper"))}});
    m_log = std::make_unique<ActivityLog>(m_folder.filePath(QStringLiteral("Tollgate.log")), m_clock);
    m_cycle = std::make_unique<SurveyCycle>(m_rules, *m_platform, *this, *m_log, m_clock);
    return true;
}

pid_t Soak::spawn(const QString& path, const QStringList& arguments)
{
    QList<QByteArray> storage {QFile::encodeName(path)};
    for (const QString& argument : arguments)
        storage.append(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return 0;
    return pid;
}

void Soak::churn()
{
    const bool ending = now() >= qint64(m_seconds) * 1000;
    if (ending)
        return;
    const auto start = [&](Kind kind, const QString& path, const QStringList& arguments) {
        if (const pid_t pid = spawn(path, arguments)) {
            m_children[pid] = Child {kind, now()};
            ++m_counts[kind].started;
        }
    };
    // Blocked programs that would sleep for a minute, other programs that end by themselves.
    if (m_random.bounded(4) == 0)
        start(Kind::Blocked, program("soakgame"), {QStringLiteral("60")});
    if (m_random.bounded(3) == 0)
        start(Kind::Watched, program("soakwatch"),
            {QString::number(0.2 + m_random.bounded(30) / 10.0, 'f', 1)});
    int idleRunning = 0;
    for (const auto& [pid, child] : m_children)
        idleRunning += child.kind == Kind::Idle;
    if (idleRunning < 20 && m_random.bounded(10) == 0)
        start(Kind::Idle, program("soakidle"), {QStringLiteral("3600")});

    // Idle periods: the mouse moves every second while active, then rests past the idle
    // time. Counted in ticks, as idle detection counts, so that a slow machine still
    // reaches the idle time.
    constexpr qint64 TicksPerSecond = 1000 / SurveyCycle::IntervalMs;
    if (m_ticks >= m_phaseEndsTick) {
        m_idle = !m_idle;
        m_idlePeriods += m_idle;
        m_phaseEndsTick = m_ticks
            + TicksPerSecond
                * (m_idle ? RuleSet::MinIdleTime + 5 + m_random.bounded(10) : 20 + m_random.bounded(40));
    }
    if (!m_idle && m_ticks >= m_nextMoveTick) {
        m_moveCursor(QPoint(m_random.bounded(500), m_random.bounded(500)));
        m_nextMoveTick = m_ticks + TicksPerSecond;
    }

    if (m_server && m_windowsOpen < 3 && m_random.bounded(5) == 0) {
        const bool blocked = m_random.bounded(3) == 0;
        const int n = ++m_windowSerial;
        const QString first = QStringLiteral("soak notes %1").arg(n);
        const QString second = blocked
            ? QStringLiteral("soak game %1").arg(n)
            : QStringLiteral("soak notes %1 %2")
                  .arg(n)
                  .arg(m_random.bounded(2) ? QStringLiteral("edited") : QStringLiteral("front"));
        start(blocked ? Kind::BlockedWindow : Kind::OkWindow, m_windowHelper,
            {QString::number(blocked ? 8000 : 1500 + m_random.bounded(2000)), QString::number(500), first,
                second});
        ++m_windowsOpen;
    }
}

void Soak::record(pid_t pid, const Child& child, int status)
{
    const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    const bool normal = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    bool expected = false;
    switch (child.kind) {
    case Kind::Blocked:
        expected = killed;
        break;
    case Kind::Watched:
        expected = normal;
        break;
    case Kind::Idle:
        // Ended only when idle time ran out while it was running (or by us at the end).
        expected = killed ? child.aliveAtTimeout : normal;
        break;
    case Kind::OkWindow:
        expected = normal;
        break;
    case Kind::BlockedWindow:
        expected = WIFEXITED(status) && WEXITSTATUS(status) == 10;
        break;
    }
    if (child.kind == Kind::OkWindow || child.kind == Kind::BlockedWindow)
        --m_windowsOpen;
    Counts& counts = m_counts[child.kind];
    if (expected) {
        ++counts.asExpected;
    } else {
        ++counts.wrong;
        if (m_failures.size() < 20)
            m_failures.append(QStringLiteral("%1 %2 started at %3 s ended wrongly (status 0x%4)")
                                  .arg(QString::fromLatin1(kindName(child.kind)))
                                  .arg(pid)
                                  .arg(child.startedMs / 1000.0, 0, 'f', 1)
                                  .arg(status, 0, 16));
    }
}

void Soak::reap(bool wait)
{
    for (auto it = m_children.begin(); it != m_children.end();) {
        int status = 0;
        const pid_t done = ::waitpid(it->first, &status, wait ? 0 : WNOHANG);
        if (done == it->first) {
            record(it->first, it->second, status);
            it = m_children.erase(it);
        } else {
            ++it;
        }
    }
}

void Soak::checkKeeper()
{
    QList<pid_t> keepers;
    for (const Platform::ProcessEntry& entry : m_observer.fullSnapshot()) {
        if (entry.name == name("soakkeeper"))
            keepers.append(pid_t(entry.pid));
    }
    if (!keepers.isEmpty() && m_keeperGoneSinceMs >= 0) {
        m_keeperLongestGapMs = std::max(m_keeperLongestGapMs, now() - m_keeperGoneSinceMs);
        ++m_keeperReturns;
        m_keeperGoneSinceMs = -1;
    }
    if (keepers.isEmpty() && m_keeperGoneSinceMs < 0)
        m_keeperGoneSinceMs = now();
    // Now and then the user ends the program that must always run.
    // Not near the end, so that it has time to come back.
    if (!keepers.isEmpty() && now() >= m_nextKeeperKillMs && now() < (qint64(m_seconds) - 15) * 1000) {
        for (const pid_t pid : keepers)
            ::kill(pid, SIGKILL);
        ++m_keeperKills;
        m_keeperGoneSinceMs = now();
        m_nextKeeperKillMs = now() + 10000 + m_random.bounded(20000);
    }
}

void Soak::finish()
{
    // Nothing new starts; the survey goes on until what was started has played out.
    for (auto& [pid, child] : m_children) {
        if (child.kind == Kind::Idle) {
            ::kill(pid, SIGKILL);
            child.aliveAtTimeout = true;
        }
    }
    QElapsedTimer grace;
    grace.start();
    while (!m_children.empty() && grace.elapsed() < 15000) {
        m_cycle->tick();
        reap(false);
        QThread::msleep(SurveyCycle::IntervalMs);
    }
    m_cycle->stop();
    // Whatever is left outlived its time: the survey missed it.
    for (auto it = m_children.begin(); it != m_children.end();) {
        ::kill(it->first, SIGKILL);
        ::waitpid(it->first, nullptr, 0);
        ++m_counts[it->second.kind].wrong;
        m_failures.append(QStringLiteral("%1 %2 still ran at the end")
                              .arg(QString::fromLatin1(kindName(it->second.kind)))
                              .arg(it->first));
        it = m_children.erase(it);
    }
    for (const Platform::ProcessEntry& entry : m_observer.fullSnapshot()) {
        if (entry.name == name("soakkeeper"))
            ::kill(pid_t(entry.pid), SIGKILL);
    }
}

int Soak::run()
{
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [this] {
        m_cycle->tick();
        ++m_ticks;
    });
    QTimer churnTimer;
    QObject::connect(&churnTimer, &QTimer::timeout, [this] {
        churn();
        reap(false);
    });
    QTimer keeperTimer;
    QObject::connect(&keeperTimer, &QTimer::timeout, [this] { checkKeeper(); });
    // Memory and descriptors settle once caches, the X connection and the log are warm.
    const qint64 warmUpMs = std::min<qint64>(60000, qint64(m_seconds) * 100);
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (now() < warmUpMs)
            return;
        const qint64 rss = residentKiB();
        const qint64 fds = openDescriptors();
        if (!m_sampled) {
            m_startRss = rss;
            m_startFds = fds;
            m_sampled = true;
        }
        m_peakRss = std::max(m_peakRss, rss);
        m_peakFds = std::max(m_peakFds, fds);
    });
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        note(QStringLiteral("%1 s: %2 ticks, RSS %3 KiB, %4 fds, blocked %5, others %6, windows %7")
                 .arg(now() / 1000)
                 .arg(m_ticks)
                 .arg(residentKiB())
                 .arg(openDescriptors())
                 .arg(m_counts[Kind::Blocked].started)
                 .arg(m_counts[Kind::Watched].started)
                 .arg(m_windowSerial));
    });
    QTimer::singleShot(qint64(m_seconds) * 1000, qApp, &QCoreApplication::quit);

    note(QStringLiteral("soak: %1 s, %2").arg(m_seconds).arg(m_windowsNote));
    m_elapsed.start();
    m_cycle->run();
    tick.start(SurveyCycle::IntervalMs);
    churnTimer.start(100);
    keeperTimer.start(200);
    sampler.start(1000);
    progress.start(std::max(10, m_seconds / 20) * 1000);
    QCoreApplication::exec();
    const qint64 endRss = residentKiB();
    const qint64 endFds = openDescriptors();
    tick.stop();
    churnTimer.stop();
    keeperTimer.stop();
    finish();

    note(QStringLiteral("survey ticks: %1 in %2 s").arg(m_ticks).arg(m_seconds));
    for (const Kind kind : {Kind::Blocked, Kind::Watched, Kind::Idle, Kind::OkWindow, Kind::BlockedWindow}) {
        const Counts& c = m_counts[kind];
        note(QStringLiteral("%1: %2 started, %3 as expected, %4 wrong")
                 .arg(QString::fromLatin1(kindName(kind)))
                 .arg(c.started)
                 .arg(c.asExpected)
                 .arg(c.wrong));
    }
    note(QStringLiteral("idle periods: %1, timeout messages: %2; block messages: %3")
             .arg(m_idlePeriods)
             .arg(m_timeouts)
             .arg(m_blockMessages));
    note(QStringLiteral("always run: ended %1 times, back %2 times, longest gap %3 ms")
             .arg(m_keeperKills)
             .arg(m_keeperReturns)
             .arg(m_keeperLongestGapMs));
    note(QStringLiteral("resident memory: %1 KiB after warm-up, %2 KiB at the end, %3 KiB peak")
             .arg(m_startRss)
             .arg(endRss)
             .arg(m_peakRss));
    note(QStringLiteral("open descriptors: %1 after warm-up, %2 at the end, %3 peak")
             .arg(m_startFds)
             .arg(endFds)
             .arg(m_peakFds));

    for (const auto& [kind, c] : m_counts) {
        if (c.wrong > 0)
            m_failures.prepend(
                QStringLiteral("%1 %2 ended wrongly").arg(c.wrong).arg(QString::fromLatin1(kindName(kind))));
    }
    if (m_keeperKills > 0 && m_keeperReturns < m_keeperKills)
        m_failures.append(QStringLiteral("the Always Run program did not come back every time"));
    // Flat: a slow leak shows as growth past what caches and allocator slack explain.
    if (m_sampled && endRss > m_startRss + 4096)
        m_failures.append(QStringLiteral("resident memory grew by %1 KiB").arg(endRss - m_startRss));
    if (m_sampled && endFds > m_startFds + 2)
        m_failures.append(QStringLiteral("open descriptors grew from %1 to %2").arg(m_startFds).arg(endFds));
    if (m_timeouts == 0 && m_ticks >= 1000 / SurveyCycle::IntervalMs * (RuleSet::MinIdleTime + 20))
        m_failures.append(QStringLiteral("no idle period reached the idle time"));
    for (const QString& failure : std::as_const(m_failures))
        note(QStringLiteral("FAILED: ") + failure);
    note(m_failures.isEmpty() ? QStringLiteral("soak: passed") : QStringLiteral("soak: FAILED"));
    return m_failures.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // Everything the run writes stays in a folder of its own.
    const QTemporaryDir sandbox;
    Sandbox::enter(sandbox);
    QCoreApplication app(argc, argv);
    int seconds = 120;
    bool windows = true;
    QString report;
    const QStringList arguments = app.arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"--seconds" && i + 1 < arguments.size())
            seconds = std::max(10, arguments[++i].toInt());
        else if (arguments[i] == u"--report" && i + 1 < arguments.size())
            report = arguments[++i];
        else if (arguments[i] == u"--no-windows")
            windows = false;
        else {
            std::fprintf(stderr, "usage: tollgate_soak [--seconds N] [--report FILE] [--no-windows]\n");
            return 2;
        }
    }
    Soak soak(seconds, windows, report);
    if (!soak.setUp()) {
        std::fprintf(stderr, "soak: could not prepare its folder\n");
        return 2;
    }
    return soak.run();
}
