// One survey tick with 50 window rules and 50 process rules while 1,000 extra processes
// run, beside a tick that takes a full process snapshot for every Block and Always Run
// rule, and the same tick on the session's Wayland compositor when it offers what the Wayland,
// KWin or GNOME backend needs (start one, e.g. a headless sway, and set WAYLAND_DISPLAY; for
// KWin and GNOME Shell also DBUS_SESSION_BUS_ADDRESS). With --cpu-share=SECONDS it
// instead leaves the survey running on its timer and prints the share of one core it used.
#include "IdleChildren.h"
#include "lang/ActionCodes.h"
#include "platform/Platform.h"
#include "platform/PlatformFactory.h"
#include "platform/fake/FakeDesktopShell.h"
#include "platform/fake/FakeInputDevices.h"
#include "platform/fake/FakeWindowSystem.h"
#include "platform/linux/ProcProcessTable.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"
#include "survey/SurveyNotifier.h"
#include "survey/TitlePattern.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

using namespace Tollgate;

namespace {

constexpr int ExtraProcesses = 1000;

class SilentNotifier : public SurveyNotifier
{
public:
    void showBlockMessage() override { }
    void showTimeoutMessage() override { }
    void showPasswordPrompt() override { }
    Platform::OwnWindows ownWindows() const override { return {}; }
};

// Real processes from /proc; a desktop whose foreground window matches no rule.
struct Setup
{
    QTemporaryDir folder;
    RuleSet rules;
    Platform::FakeWindowSystem* windows;
    Platform::ProcProcessTable* processes;
    std::unique_ptr<Platform::Platform> platform;
    SilentNotifier notifier;
    SystemClock clock;
    ActivityLog log {folder.filePath(QStringLiteral("Tollgate.log")), clock};
    std::unique_ptr<SurveyCycle> cycle;

    // With a session's platform (a real desktop), else a fake desktop.
    explicit Setup(std::unique_ptr<Platform::Platform> session = nullptr)
    {
        if (session) {
            windows = nullptr;
            platform = std::move(session);
            processes = dynamic_cast<Platform::ProcProcessTable*>(&platform->processes());
        } else {
            auto fakeWindows = std::make_unique<Platform::FakeWindowSystem>();
            auto procTable = std::make_unique<Platform::ProcProcessTable>();
            windows = fakeWindows.get();
            processes = procTable.get();
            platform = std::make_unique<Platform::Platform>(QStringLiteral("bench"), std::move(fakeWindows),
                std::make_unique<Platform::FakeInputDevices>(), std::move(procTable),
                std::make_unique<Platform::FakeDesktopShell>());
            windows->setForegroundWindow(
                windows->addWindow(QStringLiteral("Report.odt - LibreOffice Writer"), 1));
        }

        QList<QStringList> windowRules;
        for (int i = 0; i < 50; ++i)
            windowRules.append({QStringLiteral("*game %1*").arg(i),
                i % 2 ? QStringLiteral("(1) Block") : QStringLiteral("(2) Bring To Front")});
        rules.windowRules().resetRows(windowRules);
        // Steady state: blocked programs are absent, always-run ones are running.
        const QString self = QCoreApplication::applicationFilePath().section(u'/', -1);
        QList<QStringList> processRules;
        for (int i = 0; i < 50; ++i) {
            if (i % 5 == 4)
                processRules.append({QStringLiteral("browser%1").arg(i),
                    QStringLiteral("(1) Close Process when Computer is Idle")});
            else if (i % 2)
                processRules.append({QStringLiteral("game%1").arg(i), QStringLiteral("(3) Block")});
            else
                processRules.append({self, QStringLiteral("(2) Always Run"), QStringLiteral("/bin/false")});
        }
        rules.processRules().resetRows(processRules);
        cycle = std::make_unique<SurveyCycle>(rules, *platform, notifier, log, clock);
        cycle->run();
    }

    // The tick as first designed: every Block and Always Run row reads all processes afresh.
    void tickWithSnapshotPerRule()
    {
        cycle->windowSurvey().SurveyWindows();
        cycle->idleDetector().SurveyIdle(SurveyCycle::IntervalMs);
        const RuleTable& table = rules.processRules();
        for (int n = 1; n <= table.count(); ++n) {
            const qint32 code = ProcessActionCode(table.cell(n, RuleSet::ProcessAction));
            if (code != 2 && code != 3)
                continue;
            const QString wanted = table.cell(n, RuleSet::ProcessName).toUpper();
            Platform::ProcessId found = 0;
            for (const Platform::ProcessEntry& entry : processes->fullSnapshot()) {
                if (entry.name.toLower().toUpper() == wanted) {
                    found = entry.pid;
                    break;
                }
            }
            benchmark::DoNotOptimize(found);
        }
    }
};

IdleChildren* children = nullptr;

void tick(benchmark::State& state)
{
    Setup setup;
    setup.cycle->tick(); // primes the name cache
    for (auto _ : state)
        setup.cycle->tick();
    state.counters["processes"] = double(setup.processes->snapshot().size());
}

void tickOnWayland(benchmark::State& state)
{
    auto session = Platform::PlatformFactory::create(
        QString(), qEnvironmentVariable("WAYLAND_DISPLAY"), QStringLiteral("wayland"));
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || session->backendName().startsWith(u"null")) {
        state.SkipWithError("no Wayland compositor with foreign-toplevel-management, KWin scripting or "
                            "Tollgate's GNOME Shell extension (set WAYLAND_DISPLAY)");
        return;
    }
    state.SetLabel(session->backendName().section(u':', 0, 0).toStdString());
    // KWin and GNOME Shell list the windows through the event loop.
    QDeadlineTimer listed(2000);
    while (session->windows().topLevelWindows().isEmpty() && !listed.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    state.counters["windows"] = double(session->windows().topLevelWindows().size());
    Setup setup(std::move(session));
    setup.cycle->tick();
    for (auto _ : state)
        setup.cycle->tick();
    state.counters["processes"] = double(setup.processes->snapshot().size());
}

// What a window change costs on GNOME Shell beyond the tick: one ListWindows round trip to
// Tollgate's extension (the list is read on each WindowsChanged signal, not per tick).
void gnomeWindowListRoundTrip(benchmark::State& state)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"),
        QStringLiteral("/org/tollgate/GnomeShell"), QStringLiteral("org.tollgate.GnomeShell"),
        QStringLiteral("ListWindows"));
    if (QDBusConnection::sessionBus().call(call).type() != QDBusMessage::ReplyMessage) {
        state.SkipWithError("no GNOME Shell with Tollgate's extension on the session bus");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(QDBusConnection::sessionBus().call(call));
}

void tickWithSnapshotPerRule(benchmark::State& state)
{
    Setup setup;
    for (auto _ : state)
        setup.tickWithSnapshotPerRule();
}

void matchPathologicalPattern(benchmark::State& state)
{
    const TitlePattern pattern(QStringLiteral("*a*a*a*a*a*a*a*a*b"));
    const QList<char32_t> title = TitlePattern::lowerCaseCharacters(QString(254, u'a'));
    for (auto _ : state)
        benchmark::DoNotOptimize(pattern.matchesLowerCase(title));
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int cpuShare(int seconds)
{
    Setup setup;
    QTimer timer;
    timer.setInterval(SurveyCycle::IntervalMs);
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, setup.cycle.get(), [&] {
        setup.cycle->tick();
        ++ticks;
    });
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    const double before = cpuSeconds();
    timer.start();
    QCoreApplication::exec();
    const double used = cpuSeconds() - before;
    printf("survey running %d s (%d ticks) with %zu extra processes: %.3f s of CPU, %.2f%% of one core\n",
        seconds, ticks, children ? children->size() : 0, used, 100.0 * used / seconds);
    return 0;
}

} // namespace

BENCHMARK(tick)->Unit(benchmark::kMicrosecond);
BENCHMARK(tickOnWayland)->Unit(benchmark::kMicrosecond);
BENCHMARK(gnomeWindowListRoundTrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(tickWithSnapshotPerRule)->Unit(benchmark::kMicrosecond);
BENCHMARK(matchPathologicalPattern)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    IdleChildren extra(ExtraProcesses);
    children = &extra;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--cpu-share=", 12) == 0)
            return cpuShare(std::atoi(argv[i] + 12));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
