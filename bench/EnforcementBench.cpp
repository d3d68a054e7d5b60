// How soon a blocked program or window is dealt with, and what the survey costs, for the
// survey driven by its tick alone and for the survey that also answers reported changes,
// in one run:
//   - from the exec of a blocked program to its end,
//   - from the map of a window with a blocked title, or the retitle of the foreground
//     window, to the close request reaching it (on a private Xvfb with openbox),
//   - survey CPU with 1,000 extra idle processes, quiet and with 100 unrelated short
//     processes started a second.
// Usage: enforcement_bench [--trials=N] [--seconds=S] [--no-windows]
//                          [--mode=tick|polled|starts|kernel] [--load=quiet|births|threads]
// The process trials also say, by latency, how long the survey's threads waited for a CPU
// meanwhile (the machine's share of the delay) and how many saw a listing of /proc.
#include "IdleChildren.h"
#include "platform/Platform.h"
#include "platform/fake/FakeDesktopShell.h"
#include "platform/fake/FakeInputDevices.h"
#include "platform/fake/FakeWindowSystem.h"
#include "platform/linux/ProcProcessTable.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11InputDevices.h"
#include "platform/x11/X11WindowSystem.h"
#include "store/RuleSet.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/SurveyCycle.h"
#include "survey/SurveyNotifier.h"
#include "x11/XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Tollgate;
using namespace Tollgate::Platform;

namespace {

constexpr int ExtraProcesses = 1000;

double nowMs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class SilentNotifier : public SurveyNotifier
{
public:
    void showBlockMessage() override { }
    void showTimeoutMessage() override { }
    void showPasswordPrompt() override { }
    Platform::OwnWindows ownWindows() const override { return {}; }
};

// The backends of the polling survey: the same calls, but nobody is told of changes.
class DeafWindows : public WindowSystem
{
public:
    explicit DeafWindows(std::unique_ptr<WindowSystem> inner)
        : m_inner(std::move(inner))
    { }
    WindowId foregroundWindow() override { return m_inner->foregroundWindow(); }
    QString windowTitle(WindowId w) override { return m_inner->windowTitle(w); }
    bool postCloseRequest(WindowId w) override { return m_inner->postCloseRequest(w); }
    qint32 setTopMost(WindowId w, bool on) override { return m_inner->setTopMost(w, on); }
    QList<TopLevelWindow> topLevelWindows() override { return m_inner->topLevelWindows(); }
    ProcessId windowProcessId(WindowId w) override { return m_inner->windowProcessId(w); }
    QList<CapabilityStatus> capabilities() override { return m_inner->capabilities(); }

private:
    std::unique_ptr<WindowSystem> m_inner;
};

class DeafInput : public InputDevices
{
public:
    explicit DeafInput(std::unique_ptr<InputDevices> inner)
        : m_inner(std::move(inner))
    { }
    QPoint cursorPosition() override { return m_inner->cursorPosition(); }
    bool setCursorPosition(QPoint p) override { return m_inner->setCursorPosition(p); }
    QSize primaryScreenSize() override { return m_inner->primaryScreenSize(); }
    bool keyActive(int key) override { return m_inner->keyActive(key); }
    QList<CapabilityStatus> capabilities() override { return m_inner->capabilities(); }

private:
    std::unique_ptr<InputDevices> m_inner;
};

// When the survey last asked for a process to end, for telling its own delay from the
// time the program takes to go.
std::atomic<double> lastTerminationMs = 0;

// The process table, timing terminations; deaf (nobody told of changes) for the polling survey.
class TimedProcesses : public ProcessTable
{
public:
    TimedProcesses(std::unique_ptr<ProcessTable> inner, bool deaf)
        : m_inner(std::move(inner))
        , m_deaf(deaf)
    { }
    QList<ProcessEntry> snapshot() override { return m_inner->snapshot(); }
    ProcessChanges changes() override { return m_inner->changes(); }
    TerminateResult terminate(ProcessId pid) override
    {
        lastTerminationMs = nowMs();
        return m_inner->terminate(pid);
    }
    ProcessId start(const QString& commandLine) override { return m_inner->start(commandLine); }
    QList<CapabilityStatus> capabilities() override { return m_inner->capabilities(); }

protected:
    void watchChanges(bool on) override
    {
        if (!m_deaf)
            m_inner->setChangeHandler(on ? std::function<void()>([this] { reportChange(); }) : nullptr);
    }

private:
    std::unique_ptr<ProcessTable> m_inner;
    bool m_deaf;
};

enum class Mode { Polling, EventsPolledBirths, EventsProgramStarts, EventsKernel };

const char* modeName(Mode mode)
{
    switch (mode) {
    case Mode::Polling:
        return "polling (50 ms tick only)";
    case Mode::EventsPolledBirths:
        return "events, births polled";
    case Mode::EventsProgramStarts:
        return "events, program starts";
    case Mode::EventsKernel:
        return "events, kernel process events";
    }
    return "";
}

std::unique_ptr<Platform::Platform> makePlatform(
    Mode mode, const QString& display, bool* usable, ProcProcessTable** table)
{
    std::unique_ptr<WindowSystem> windows;
    std::unique_ptr<InputDevices> input;
    if (auto connection = display.isEmpty() ? nullptr : X11Connection::open(display.toLocal8Bit(), nullptr)) {
        windows = std::make_unique<X11WindowSystem>(connection);
        input = std::make_unique<X11InputDevices>(connection);
    } else {
        windows = std::make_unique<FakeWindowSystem>();
        input = std::make_unique<FakeInputDevices>();
    }
    auto processes = std::make_unique<ProcProcessTable>(QByteArrayLiteral("/proc"),
        mode == Mode::EventsPolledBirths        ? ProcProcessTable::BirthWatch::Polling
            : mode == Mode::EventsProgramStarts ? ProcProcessTable::BirthWatch::ProgramStarts
                                                : ProcProcessTable::BirthWatch::Best);
    *usable = true;
    *table = processes.get();
    if (mode == Mode::EventsKernel || mode == Mode::EventsProgramStarts) {
        processes->setChangeHandler([] {});
        *usable
            = mode == Mode::EventsKernel ? processes->usesProcessEvents() : processes->usesProgramStarts();
        processes->setChangeHandler(nullptr);
    }
    if (mode == Mode::Polling) {
        return std::make_unique<Platform::Platform>(QStringLiteral("polling"),
            std::make_unique<DeafWindows>(std::move(windows)), std::make_unique<DeafInput>(std::move(input)),
            std::make_unique<TimedProcesses>(std::move(processes), true),
            std::make_unique<FakeDesktopShell>());
    }
    return std::make_unique<Platform::Platform>(QStringLiteral("events"), std::move(windows),
        std::move(input), std::make_unique<TimedProcesses>(std::move(processes), false),
        std::make_unique<FakeDesktopShell>());
}

struct Survey
{
    QTemporaryDir folder;
    RuleSet rules;
    SilentNotifier notifier;
    SystemClock clock;
    ActivityLog log {folder.filePath(QStringLiteral("Tollgate.log")), clock};
    std::unique_ptr<Platform::Platform> platform;
    std::unique_ptr<SurveyCycle> cycle;

    Survey(std::unique_ptr<Platform::Platform> p, const QString& blockedProgram)
        : platform(std::move(p))
    {
        QList<QStringList> windowRules;
        for (int i = 0; i < 9; ++i)
            windowRules.append({QStringLiteral("*game %1*").arg(i), QStringLiteral("(1) Block")});
        windowRules.append({QStringLiteral("*blocked game*"), QStringLiteral("(1) Block")});
        rules.windowRules().resetRows(windowRules);
        QList<QStringList> processRules;
        for (int i = 0; i < 9; ++i)
            processRules.append({QStringLiteral("game%1").arg(i), QStringLiteral("(3) Block")});
        processRules.append({blockedProgram, QStringLiteral("(3) Block")});
        processRules.append({QCoreApplication::applicationFilePath().section(u'/', -1),
            QStringLiteral("(2) Always Run"), QStringLiteral("/bin/false")});
        rules.processRules().resetRows(processRules);
        cycle = std::make_unique<SurveyCycle>(rules, *platform, notifier, log, clock);
        cycle->run();
    }
};

// How long a task waited for a CPU since it started, in ms (from its schedstat).
double runQueueWaitMs(const QString& schedstat)
{
    QFile file(schedstat);
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(1).toDouble() / 1e6 : 0;
}

// The same for the threads of this process other than the calling one: the survey's.
double othersRunQueueWaitMs()
{
    double waited = 0;
    const QString self = QString::number(::gettid());
    for (const QString& task :
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (task != self)
            waited += runQueueWaitMs(QStringLiteral("/proc/self/task/%1/schedstat").arg(task));
    }
    return waited;
}

double ownRunQueueWaitMs()
{
    return runQueueWaitMs(QStringLiteral("/proc/self/task/%1/schedstat").arg(::gettid()));
}

struct Samples
{
    std::vector<double> ms;
    int failed = 0;
    // Per sample, for the process trials: how long the survey's threads waited for a CPU,
    // and whether /proc was listed meanwhile.
    std::vector<double> waitedMs;
    // How long the blocked program and the thread that times it waited for a CPU.
    std::vector<double> trialWaitedMs;
    std::vector<bool> listed;
    // From the exec to the survey's termination request.
    std::vector<double> killMs;

    // Where the slow ones come from: waiting for a CPU is the machine's, the rest ours.
    void printHistogram() const
    {
        const double bounds[] = {2, 4, 8, 15, 30, 1e9};
        double lower = 0;
        for (const double upper : bounds) {
            int count = 0;
            int listings = 0;
            double killed = 0;
            double waited = 0;
            double trialWaited = 0;
            double own = 0;
            for (size_t i = 0; i < ms.size() && i < waitedMs.size(); ++i) {
                if (ms[i] < lower || ms[i] >= upper)
                    continue;
                ++count;
                listings += listed[i] ? 1 : 0;
                killed += killMs[i];
                waited += waitedMs[i];
                trialWaited += trialWaitedMs[i];
                own += std::max(0.0, ms[i] - waitedMs[i] - trialWaitedMs[i]);
            }
            if (count > 0) {
                std::printf(
                    "    %5.0f-%-5s ms: %4d trials; mean %6.2f ms to the kill; wait for a CPU: survey "
                    "%6.2f ms, program and timer %6.2f ms; %6.2f ms else; %d with a /proc listing\n",
                    lower, upper > 1e8 ? "" : QByteArray::number(upper).constData(), count, killed / count,
                    waited / count, trialWaited / count, own / count, listings);
            }
            lower = upper;
        }
        std::fflush(stdout);
    }

    void print(const char* what, Mode mode) const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        if (sorted.empty()) {
            std::printf("%-34s %-32s no samples (%d failed)\n", what, modeName(mode), failed);
            return;
        }
        std::printf("%-34s %-32s median %6.2f ms  p95 %6.2f ms  max %6.2f ms  (%zu trials, %d failed)\n",
            what, modeName(mode), sorted[sorted.size() / 2], sorted[sorted.size() * 95 / 100], sorted.back(),
            sorted.size(), failed);
        std::fflush(stdout);
    }
};

// Runs the event loop until the worker is done.
void runWhile(const std::function<void()>& worker)
{
    std::atomic<bool> done = false;
    std::thread thread([&] {
        worker();
        done = true;
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    thread.join();
}

Samples processLatency(const QByteArray& program, int trials, const ProcProcessTable& table)
{
    // The child writes the time of its exec where the parent can read it.
    auto* execAt = static_cast<double*>(
        mmap(nullptr, sizeof(double), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    Samples samples;
    runWhile([&] {
        for (int i = 0; i < trials; ++i) {
            ::usleep(useconds_t(5000 + QRandomGenerator::global()->bounded(20000)));
            const double waitedBefore = othersRunQueueWaitMs();
            const double ownWaitedBefore = ownRunQueueWaitMs();
            const int listingsBefore = table.listings();
            const pid_t child = ::fork();
            if (child == 0) {
                *execAt = nowMs();
                ::execl(program.constData(), program.constData(), "30", static_cast<char*>(nullptr));
                ::_exit(127);
            }
            // Ended but not reaped yet, so that its schedstat can still be read.
            siginfo_t ended {};
            ::waitid(P_PID, id_t(child), &ended, WEXITED | WNOWAIT);
            const double gone = nowMs();
            const double trialWaited = ownRunQueueWaitMs() - ownWaitedBefore
                + runQueueWaitMs(QStringLiteral("/proc/%1/schedstat").arg(child));
            int status = 0;
            ::waitpid(child, &status, 0);
            if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
                samples.ms.push_back(gone - *execAt);
                samples.waitedMs.push_back(othersRunQueueWaitMs() - waitedBefore);
                samples.trialWaitedMs.push_back(trialWaited);
                samples.killMs.push_back(lastTerminationMs - *execAt);
                samples.listed.push_back(table.listings() != listingsBefore);
            } else {
                ++samples.failed;
            }
        }
    });
    munmap(execAt, sizeof(double));
    return samples;
}

// A client of its own that maps windows and waits for the close request.
class WindowClient
{
public:
    explicit WindowClient(const QString& display)
        : m_x(X11Connection::open(display.toLocal8Bit(), nullptr))
    { }
    bool valid() const { return m_x != nullptr; }

    xcb_window_t create(const QByteArray& title)
    {
        xcb_connection_t* c = m_x->get();
        const xcb_window_t window = xcb_generate_id(c);
        const quint32 values[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, m_x->root(), 100, 100, 300, 200, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, values);
        const xcb_atom_t deleteWindow = m_x->atom(X11Connection::WmDeleteWindow);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, m_x->atom(X11Connection::WmProtocols),
            XCB_ATOM_ATOM, 32, 1, &deleteWindow);
        // Takes the keyboard (ICCCM WM_HINTS: flags InputHint, input), as a program's
        // window does; openbox does not focus a new window without it.
        const quint32 hints[9] = {1, 1, 0, 0, 0, 0, 0, 0, 0};
        xcb_change_property(
            c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
        setTitle(window, title);
        return window;
    }
    void setTitle(xcb_window_t window, const QByteArray& title)
    {
        xcb_change_property(m_x->get(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
            quint32(title.size()), title.constData());
    }
    void flush() { xcb_flush(m_x->get()); }
    void map(xcb_window_t window)
    {
        xcb_map_window(m_x->get(), window);
        xcb_flush(m_x->get());
    }
    void destroy(xcb_window_t window)
    {
        xcb_destroy_window(m_x->get(), window);
        xcb_flush(m_x->get());
    }
    bool isActive(xcb_window_t window)
    {
        return m_x->cardinalProperty(m_x->root(), m_x->atom(X11Connection::NetActiveWindow), XCB_ATOM_WINDOW)
            == window;
    }
    // Waits for the close request; false after the timeout. With activeAt, also notes
    // when the window manager made the window the active one.
    bool waitForClose(xcb_window_t window, double timeoutMs, double* activeAt = nullptr)
    {
        const double deadline = nowMs() + timeoutMs;
        const int fd = xcb_get_file_descriptor(m_x->get());
        while (nowMs() < deadline) {
            if (activeAt && *activeAt == 0 && isActive(window))
                *activeAt = nowMs();
            while (const XcbReply<xcb_generic_event_t> event {xcb_poll_for_event(m_x->get())}) {
                if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
                    continue;
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event.get());
                if (message->window == window
                    && message->data.data32[0] == m_x->atom(X11Connection::WmDeleteWindow))
                    return true;
            }
            pollfd wait {fd, POLLIN, 0};
            ::poll(&wait, 1, 1);
        }
        return false;
    }

private:
    std::shared_ptr<X11Connection> m_x;
};

// managerSamples gets the window manager's own share of a map: until the window is active.
// The windows come from a child process: the survey never closes a window of its own.
Samples windowLatency(const QString& display, bool retitle, int trials, Samples* managerSamples)
{
    struct Results
    {
        int count;
        int failed;
        double ms[1]; // trials of them, then as many times to the window being active
    };
    const size_t size = sizeof(Results) + 2 * sizeof(double) * size_t(trials);
    auto* results = static_cast<Results*>(
        mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (results == MAP_FAILED)
        return {};
    results->count = 0;
    results->failed = 0;
    double* activeMs = results->ms + trials;
    runWhile([&] {
        const pid_t child = ::fork();
        if (child == 0) {
            WindowClient client(display);
            if (!client.valid())
                ::_exit(1);
            for (int i = 0; i < trials; ++i) {
                ::usleep(useconds_t(5000 + QRandomGenerator::global()->bounded(20000)));
                double start = 0;
                xcb_window_t window = 0;
                if (retitle) {
                    window = client.create("Harmless notes");
                    client.map(window);
                    const double deadline = nowMs() + 5000;
                    while (!client.isActive(window) && nowMs() < deadline)
                        ::usleep(2000);
                    ::usleep(useconds_t(60000 + QRandomGenerator::global()->bounded(20000)));
                    start = nowMs();
                    client.setTitle(window, "Now a blocked game");
                    client.flush();
                } else {
                    window = client.create("A blocked game");
                    start = nowMs();
                    client.map(window);
                }
                double activeAt = 0;
                if (client.waitForClose(window, 3000, retitle ? nullptr : &activeAt)) {
                    results->ms[results->count] = nowMs() - start;
                    activeMs[results->count] = activeAt > 0 ? activeAt - start : -1;
                    ++results->count;
                } else {
                    ++results->failed;
                }
                client.destroy(window);
            }
            ::_exit(0);
        }
        if (child > 0)
            ::waitpid(child, nullptr, 0);
    });
    Samples samples;
    samples.failed = results->failed;
    for (int i = 0; i < results->count; ++i) {
        samples.ms.push_back(results->ms[i]);
        if (activeMs[i] >= 0)
            managerSamples->ms.push_back(activeMs[i]);
    }
    munmap(results, size);
    return samples;
}

enum class Load { Quiet, ProcessBirths, ThreadBirths };

void cpuShare(Survey& survey, const ProcProcessTable& table, Mode mode, int seconds, Load load)
{
    // The unrelated processes or threads come from a child of ours, so that their cost is
    // not ours. Threads live 100 ms each, as in a busy program's pool.
    pid_t spawner = 0;
    if (load != Load::Quiet) {
        spawner = ::fork();
        if (spawner == 0) {
            std::vector<std::thread> threads;
            for (;;) {
                const double next = nowMs() + 10.0;
                if (load == Load::ThreadBirths) {
                    threads.emplace_back([] { ::usleep(100000); });
                    if (threads.size() > 10) {
                        threads.front().join();
                        threads.erase(threads.begin());
                    }
                } else if (const pid_t child = ::fork(); child == 0) {
                    ::execl("/bin/true", "true", static_cast<char*>(nullptr));
                    ::_exit(127);
                } else {
                    ::waitpid(child, nullptr, 0);
                }
                const double left = next - nowMs();
                if (left > 0)
                    ::usleep(useconds_t(left * 1000));
            }
        }
    }
    const int surveysBefore = survey.cycle->surveysRun();
    const int listingsBefore = table.listings();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    const double before = cpuSeconds();
    QCoreApplication::exec();
    const double used = cpuSeconds() - before;
    if (spawner > 0) {
        ::kill(spawner, SIGKILL);
        ::waitpid(spawner, nullptr, 0);
    }
    std::printf("survey CPU, %-22s %-32s %5.2f%% of one core (%d surveys, %d listings of /proc in %d s)\n",
        load == Load::Quiet               ? "quiet"
            : load == Load::ProcessBirths ? "100 unrelated births/s"
                                          : "100 thread births/s",
        modeName(mode), 100.0 * used / seconds, survey.cycle->surveysRun() - surveysBefore,
        table.listings() - listingsBefore, seconds);
    std::fflush(stdout);
}

// What waking up every 50 ms costs this process with nothing to do: the floor under the
// quiet figures, which differs from machine to machine far more than the survey does.
void emptyTimerShare(int seconds)
{
    QTimer timer;
    timer.setInterval(50);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    const double before = cpuSeconds();
    QCoreApplication::exec();
    std::printf("reference: an empty 50 ms timer                                      %5.2f%% of one core\n",
        100.0 * (cpuSeconds() - before) / seconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int trials = 200;
    int seconds = 10;
    bool windows = true;
    const char* onlyMode = nullptr;
    const char* onlyLoad = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--trials=", 9) == 0)
            trials = std::max(1, std::atoi(argv[i] + 9));
        else if (std::strncmp(argv[i], "--seconds=", 10) == 0)
            seconds = std::max(1, std::atoi(argv[i] + 10));
        else if (std::strcmp(argv[i], "--no-windows") == 0)
            windows = false;
        else if (std::strncmp(argv[i], "--mode=", 7) == 0)
            onlyMode = argv[i] + 7;
        else if (std::strncmp(argv[i], "--load=", 7) == 0)
            onlyLoad = argv[i] + 7;
    }
    IdleChildren extra(ExtraProcesses);
    std::printf("%zu extra idle processes\n", extra.size());

    Test::XServer server;
    QString display;
    if (!windows)
        std::printf("window trials skipped: --no-windows\n");
    else if (const QString reason = Test::XServer::unavailableReason(true); !reason.isEmpty())
        std::printf("window trials skipped: %s\n", qPrintable(reason));
    else if (server.start(true))
        display = server.display();
    else
        std::printf("window trials skipped: the private X server did not start\n");

    if (!onlyLoad || std::strcmp(onlyLoad, "quiet") == 0)
        emptyTimerShare(seconds);

    QTemporaryDir folder;
    const QString program
        = folder.filePath(QStringLiteral("tg-bench-%1").arg(QRandomGenerator::global()->generate()));
    QFile::copy(QStringLiteral("/bin/sleep"), program);
    const QString programName = program.section(u'/', -1);

    for (const Mode mode :
        {Mode::Polling, Mode::EventsPolledBirths, Mode::EventsProgramStarts, Mode::EventsKernel}) {
        static const char* const keys[] = {"tick", "polled", "starts", "kernel"};
        if (onlyMode && std::strcmp(onlyMode, keys[int(mode)]) != 0)
            continue;
        bool usable = false;
        ProcProcessTable* table = nullptr;
        auto platform = makePlatform(mode, display, &usable, &table);
        if (!usable) {
            std::printf("%s: unavailable here (%s)\n", modeName(mode),
                mode == Mode::EventsKernel ? "needs root or CAP_NET_ADMIN"
                                           : "the C library cannot be watched");
            continue;
        }
        Survey survey(std::move(platform), programName);
        // The table lists /proc while it starts; the trials measure it settled.
        QTimer::singleShot(500, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
        const Samples processes = processLatency(QFile::encodeName(program), trials, *table);
        processes.print("blocked process, exec -> gone", mode);
        processes.printHistogram();
        if (!display.isEmpty()) {
            Samples manager;
            windowLatency(display, false, trials, &manager).print("blocked window, map -> close", mode);
            manager.print("  of which map -> active (openbox)", mode);
            windowLatency(display, true, trials, &manager).print("foreground retitled, -> close", mode);
        }
        for (const Load load : {Load::Quiet, Load::ProcessBirths, Load::ThreadBirths}) {
            static const char* const loadKeys[] = {"quiet", "births", "threads"};
            if (!onlyLoad || std::strcmp(onlyLoad, loadKeys[int(load)]) == 0)
                cpuShare(survey, *table, mode, seconds, load);
        }
    }
    return 0;
}
