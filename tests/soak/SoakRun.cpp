// The survey left running against churn: real processes from /proc starting and ending
// all the time, X windows (on a private Xvfb) opening, retitling and closing, idle periods
// coming and going. At the end it checks that every blocked process was ended, nothing
// else was touched, Always Run kept its program running, that resident memory and open
// file descriptors stayed flat, and that the run did not spin.
//
//   tollgate_soak [--seconds N] [--report FILE] [--no-windows]
//
// Exits 0 when every check held, 1 when one failed.
#include "XServer.h"
#include "common/ChildProcesses.h"
#include "common/NamedProgram.h"
#include "common/RecordingNotifier.h"
#include "common/WaitUntil.h"
#include "platform/Platform.h"
#include "platform/fake/FakeDesktopShell.h"
#include "platform/fake/FakeInputDevices.h"
#include "platform/null/NullWindowSystem.h"
#include "platform/x11/X11InputDevices.h"
#include "platform/x11/X11WindowSystem.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

using namespace Tollgate;
using Test::ChildProcesses;

namespace {

// What each kind of program started must come to: the exit status a working survey brings.
enum Kind { Blocked, Other, Idle, AllowedWindow, BlockedWindow, Kinds };
const char* const KindNames[] = {"blocked processes", "other processes", "close-when-idle processes",
    "allowed windows", "blocked windows"};
constexpr qint64 TicksPerSecond = 1000 / SurveyCycle::IntervalMs;

// Resident memory in KiB and open descriptors but the pipes and process handles of running
// children, which come and go with them.
struct Usage
{
    qint64 rss = -1, fds = -1;
};

Usage usage()
{
    const QList<QByteArray> fields = Sandbox::readFile(QStringLiteral("/proc/self/statm")).split(' ');
    Usage now {fields.size() > 1 ? fields[1].toLongLong() * (::sysconf(_SC_PAGESIZE) / 1024) : -1, 0};
    for (const QString& fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        char link[32] = {};
        ::readlink(QByteArray("/proc/self/fd/" + fd.toLatin1()).constData(), link, sizeof link - 1);
        now.fds
            += !QByteArray(link).startsWith("pipe:") && !QByteArray(link).startsWith("anon_inode:[pidfd]");
    }
    return now;
}

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class Soak
{
public:
    Soak(int seconds, QString report)
        : m_seconds(seconds)
        , m_report(std::move(report))
    { }

    bool setUp(bool wantWindows)
    {
        std::unique_ptr<Platform::WindowSystem> windows;
        auto input = std::make_unique<Platform::FakeInputDevices>();
        m_moveCursor = [devices = input.get()](QPoint to) { devices->moveCursor(to); };
        QString error
            = wantWindows ? Test::XServer::unavailableReason(false) : QStringLiteral("--no-windows");
        std::shared_ptr<Platform::X11Connection> connection;
        if (error.isEmpty() && m_server.start(false))
            connection = Platform::X11Connection::open(m_server.display().toLatin1(), &error);
        if (connection) {
            // The real backends, as in the program; the pointer moves by warps.
            windows = std::make_unique<Platform::X11WindowSystem>(connection);
            m_moveCursor = [this](QPoint to) {
                Platform::X11Connection& x = m_server.connection();
                xcb_warp_pointer(x.get(), XCB_NONE, x.root(), 0, 0, 0, 0, qint16(to.x()), qint16(to.y()));
                xcb_flush(x.get());
            };
            qputenv("DISPLAY", m_server.display().toLatin1());
            m_windowsNote = QStringLiteral("windows: private Xvfb on ") + m_server.display();
            m_withWindows = true;
        } else {
            m_windowsNote = QStringLiteral("windows: skipped (%1)").arg(error);
            windows = std::make_unique<Platform::NullWindowSystem>(m_windowsNote);
        }
        m_platform = std::make_unique<Platform::Platform>(QStringLiteral("soak"), std::move(windows),
            connection ? std::unique_ptr<Platform::InputDevices>(
                std::make_unique<Platform::X11InputDevices>(connection))
                       : std::move(input),
            std::make_unique<Platform::ProcProcessTable>(), std::make_unique<Platform::FakeDesktopShell>());

        m_rules.setIdleTime(RuleSet::MinIdleTime);
        m_rules.windowRules().resetRows({{QStringLiteral("*soak game*"), QStringLiteral("(1) Block")},
            {QStringLiteral("*soak notes*front*"), QStringLiteral("(2) Bring To Front")}});
        m_rules.processRules().resetRows({{m_programs[Blocked].name(), QStringLiteral("(3) Block")},
            {m_programs[Idle].name(), QStringLiteral("(1) Close Process when Computer is Idle")},
            {m_keeper.name(), QStringLiteral("(2) Always Run"),
                u'"' + m_keeper.path() + QStringLiteral("\" 100000")}});
        m_cycle = std::make_unique<SurveyCycle>(m_rules, *m_platform, m_notifier, m_log, m_clock);
        // As the timeout message does when its countdown ends, but outside the tick.
        m_notifier.onShow = [this] {
            if (std::exchange(m_timeouts, m_notifier.timeoutMessages) != m_notifier.timeoutMessages)
                QTimer::singleShot(0, [this] {
                    for (auto& [process, child] : m_running)
                        child.second = child.second || child.first == Idle;
                    m_cycle->processSurvey().CloseIdleProcesses();
                });
        };
        return m_keeper.ready()
            && std::all_of(m_programs, m_programs + Kinds - 2, [](auto& p) { return p.ready(); });
    }

    int run()
    {
        QTimer tick, churn, keeper, sampler, progress;
        QObject::connect(&tick, &QTimer::timeout, [this] {
            m_cycle->tick();
            ++m_ticks;
        });
        QObject::connect(&churn, &QTimer::timeout, [this] { churnOnce(); });
        QObject::connect(&keeper, &QTimer::timeout, [this] { checkKeeper(); });
        // Memory and descriptors settle once caches, the X connection and the log are warm.
        const qint64 warmUpMs = std::min<qint64>(60000, qint64(m_seconds) * 100);
        Usage start, peak {0, 0};
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (m_elapsed.elapsed() < warmUpMs)
                return;
            const Usage now = usage();
            peak = {std::max(peak.rss, now.rss), std::max(peak.fds, now.fds)};
            if (start.rss < 0)
                start = now;
        });
        QObject::connect(&progress, &QTimer::timeout, [&] {
            const Usage now = usage();
            note(QString::asprintf(
                "%lld s: %lld ticks, RSS %lld KiB, %lld fds, %d blocked, %d others, %d windows",
                m_elapsed.elapsed() / 1000, m_ticks, now.rss, now.fds, m_started[Blocked], m_started[Other],
                m_started[AllowedWindow] + m_started[BlockedWindow]));
        });
        QTimer::singleShot(qint64(m_seconds) * 1000, qApp, &QCoreApplication::quit);

        note(QStringLiteral("soak: %1 s, %2").arg(m_seconds).arg(m_windowsNote));
        m_elapsed.start();
        const double cpuAtStart = cpuSeconds();
        m_cycle->run();
        tick.start(SurveyCycle::IntervalMs);
        churn.start(100);
        keeper.start(200);
        sampler.start(1000);
        progress.start(std::max(10, m_seconds / 20) * 1000);
        QCoreApplication::exec();
        churn.stop();
        keeper.stop();
        // Nothing new starts; the survey goes on until what was started has played out.
        for (auto& [process, child] : m_running) {
            if (child.first == Idle) {
                child.second = true;
                process->kill();
            }
        }
        Test::waitProcessingEvents([this] { return m_running.empty(); }, std::chrono::seconds(15));
        m_cycle->stop();
        const double cpu = cpuSeconds() - cpuAtStart;
        const qint64 wallMs = m_elapsed.elapsed();
        // Whatever is left outlived its time: the survey missed it.
        for (const auto& [process, child] : m_running) {
            m_failures.append(QStringLiteral("%1 still ran at the end").arg(process->program()));
            QObject::disconnect(process, nullptr, nullptr, nullptr);
        }
        m_children.killAll();
        const Usage end = usage();

        note(QString::asprintf("survey ticks: %lld in %lld s, CPU %.1f s", m_ticks, wallMs / 1000, cpu));
        for (int kind = 0; kind < Kinds; ++kind)
            note(QString::asprintf(
                "%s: %d started, %d ended wrongly", KindNames[kind], m_started[kind], m_wrong[kind]));
        note(QString::asprintf("idle periods: %d, timeout messages: %d, block messages: %d", m_idlePeriods,
            m_notifier.timeoutMessages, m_notifier.blockMessages));
        note(QString::asprintf("always run: ended %d times, back %d times", m_keeperKills, m_keeperReturns));
        note(QString::asprintf("resident memory: %lld KiB after warm-up, %lld KiB at the end, %lld KiB peak; "
                               "open descriptors: %lld, %lld, %lld",
            start.rss, end.rss, peak.rss, start.fds, end.fds, peak.fds));

        if (m_keeperReturns < m_keeperKills)
            m_failures.append(QStringLiteral("the Always Run program did not come back every time"));
        // Flat: a slow leak shows as growth past what caches and allocator slack explain.
        if (start.rss >= 0 && (end.rss > start.rss + 4096 || end.fds > start.fds + 2))
            m_failures.append(QStringLiteral("resident memory or open descriptors grew"));
        if (m_notifier.timeoutMessages == 0 && m_ticks >= TicksPerSecond * (RuleSet::MinIdleTime + 20))
            m_failures.append(QStringLiteral("no idle period reached the idle time"));
        // A survey that spins takes a whole core; a working one a small part, however loaded the machine.
        if (cpu * 1000 > 0.9 * double(wallMs))
            m_failures.append(QStringLiteral("the run kept a core busy: it spun"));
        for (const QString& failure : std::as_const(m_failures))
            note(QStringLiteral("FAILED: ") + failure);
        note(m_failures.isEmpty() ? QStringLiteral("soak: passed") : QStringLiteral("soak: FAILED"));
        return m_failures.isEmpty() ? 0 : 1;
    }

private:
    void note(const QString& line)
    {
        const QByteArray text = line.toLocal8Bit() + '\n';
        std::fputs(text.constData(), stdout);
        std::fflush(stdout);
        if (QFile file(m_report); !m_report.isEmpty() && file.open(QIODevice::Append))
            file.write(text);
    }

    int running(Kind kind) const
    {
        return int(std::count_if(
            m_running.begin(), m_running.end(), [kind](const auto& p) { return p.second.first == kind; }));
    }

    void start(Kind kind, const QString& program, const QStringList& arguments)
    {
        QProcess* process = m_children.start(
            program, arguments, QProcessEnvironment::systemEnvironment(), ChildProcesses::Output::Discarded);
        if (!process)
            return;
        m_running[process] = {kind, false};
        ++m_started[kind];
        QObject::connect(
            process, &QProcess::finished, [this, process](int code, QProcess::ExitStatus status) {
                const auto [kind, aliveAtTimeout] = m_running[process];
                m_running.erase(process);
                // A crash exit's code is the signal.
                const bool killed = status == QProcess::CrashExit && code == SIGKILL;
                const bool normal = status == QProcess::NormalExit && code == 0;
                const bool closed = status == QProcess::NormalExit && code == 10; // asked to close
                if (!(kind == Blocked               ? killed
                            : kind == Idle          ? (killed ? aliveAtTimeout : normal)
                            : kind == BlockedWindow ? closed
                                                    : normal)
                    && ++m_wrong[kind] <= 20)
                    m_failures.append(QStringLiteral("%1 %2 ended wrongly: status %3, code %4")
                                          .arg(QString::fromLatin1(KindNames[kind]))
                                          .arg(process->processId())
                                          .arg(int(status))
                                          .arg(code));
                // Not inside its own signal.
                QTimer::singleShot(0, [this, guard = QPointer<QProcess>(process)] {
                    if (guard)
                        m_children.kill(guard);
                });
            });
    }

    void churnOnce()
    {
        // Blocked programs that would sleep for a minute, other programs that end by themselves.
        if (m_random.bounded(4) == 0)
            start(Blocked, m_programs[Blocked].path(), {QStringLiteral("60")});
        if (m_random.bounded(3) == 0)
            start(Other, m_programs[Other].path(),
                {QString::number(0.2 + m_random.bounded(30) / 10.0, 'f', 1)});
        if (running(Idle) < 20 && m_random.bounded(10) == 0)
            start(Idle, m_programs[Idle].path(), {QStringLiteral("3600")});

        // Idle periods: the mouse moves every second while active, then rests past the idle
        // time. Counted in ticks, as idle detection counts, so that a slow machine still
        // reaches the idle time.
        if (m_ticks >= m_phaseEndsTick) {
            m_idlePeriods += (m_idle = !m_idle);
            m_phaseEndsTick = m_ticks
                + TicksPerSecond
                    * (m_idle ? RuleSet::MinIdleTime + 5 + m_random.bounded(10) : 20 + m_random.bounded(40));
        }
        if (!m_idle && m_ticks >= m_nextMoveTick) {
            m_moveCursor(QPoint(m_random.bounded(500), m_random.bounded(500)));
            m_nextMoveTick = m_ticks + TicksPerSecond;
        }

        // Windows that take the focus and retitle themselves after 0.5 s, a third into a blocked title.
        if (m_withWindows && running(AllowedWindow) + running(BlockedWindow) < 3
            && m_random.bounded(5) == 0) {
            const bool blocked = m_random.bounded(3) == 0;
            const QString n = QString::number(m_started[AllowedWindow] + m_started[BlockedWindow]);
            const QString title = QStringLiteral("soak notes ") + n;
            const QString retitled = blocked
                ? QStringLiteral("soak game ") + n
                : title + (m_random.bounded(2) ? QStringLiteral(" edited") : QStringLiteral(" front"));
            start(blocked ? BlockedWindow : AllowedWindow,
                QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_soak_window"),
                {QString::number(blocked ? 8000 : 1500 + m_random.bounded(2000)), QStringLiteral("500"),
                    title, retitled});
        }
    }

    void checkKeeper()
    {
        const bool running = m_keeper.running() > 0;
        m_keeperReturns += running && std::exchange(m_keeperGone, false);
        // Now and then the user ends the program that must always run; not near the end, so
        // that it has time to come back.
        if (running && m_elapsed.elapsed() >= m_nextKeeperKillMs
            && m_elapsed.elapsed() < (qint64(m_seconds) - 15) * 1000) {
            m_keeper.killAll();
            ++m_keeperKills;
            m_keeperGone = true;
            m_nextKeeperKillMs = m_elapsed.elapsed() + 10000 + m_random.bounded(20000);
        }
    }

    int m_seconds;
    QString m_report;
    // Programs of this run's own names: copies of sleep, by kind, and the one that must always run.
    Test::NamedProgram m_programs[Kinds - 2] {Test::NamedProgram(QStringLiteral("sg")),
        Test::NamedProgram(QStringLiteral("so")), Test::NamedProgram(QStringLiteral("si"))};
    Test::NamedProgram m_keeper {QStringLiteral("sk")};
    Test::XServer m_server;
    QString m_windowsNote;
    std::function<void(QPoint)> m_moveCursor; // the user moving the mouse
    RuleSet m_rules;
    std::unique_ptr<Platform::Platform> m_platform;
    Test::RecordingNotifier m_notifier;
    SystemClock m_clock;
    ActivityLog m_log {Sandbox::folder() + QStringLiteral("/Tollgate.log"), m_clock};
    std::unique_ptr<SurveyCycle> m_cycle;
    ChildProcesses m_children;
    // Each running child's kind, and for a Close when Idle one whether it ran when idle time ran out.
    std::map<QProcess*, std::pair<Kind, bool>> m_running;
    QRandomGenerator m_random {20261206};
    QElapsedTimer m_elapsed;
    int m_started[Kinds] = {}, m_wrong[Kinds] = {};
    QStringList m_failures;
    int m_timeouts = 0, m_idlePeriods = 0, m_keeperKills = 0, m_keeperReturns = 0;
    bool m_withWindows = false, m_idle = false, m_keeperGone = false;
    qint64 m_ticks = 0, m_phaseEndsTick = 0, m_nextMoveTick = 0, m_nextKeeperKillMs = 0;
};

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
    Soak soak(seconds, report);
    if (!soak.setUp(windows)) {
        std::fprintf(stderr, "soak: could not copy its programs into its folder\n");
        return 2;
    }
    return soak.run();
}
