#pragma once

#include "ChildProcesses.h"
#include "DocumentBuilder.h"
#include "platform/WindowSystem.h"

#include <QDir>
#include <QTemporaryDir>
#include <chrono>

namespace Tollgate::Test {

// What driving the real program needs of a desktop: its windows, its input and its
// programs. A window is the desktop's own handle, 0 for none.
class ProgramDesktop
{
public:
    using Window = quintptr;
    virtual ~ProgramDesktop() = default;

    // The environment the program and the desktop's programs run in.
    virtual QProcessEnvironment environment() = 0;
    // Copies the built program, with what it needs beside it, into folder; returns its path.
    virtual QString installProgram(const QString& folder) = 0;
    // A copy of a program that sleeps, under a new name that starts with prefix, in folder;
    // its path, empty when it could not be made. It sleeps for minutes with sleepArguments().
    virtual QString makeSleeper(const QString& folder, const QString& prefix) = 0;
    virtual QStringList sleepArguments() = 0;
    // A program with one window of that title (program first), and its exit code when its
    // window is asked to close.
    virtual QStringList windowCommand(const QString& title) = 0;
    virtual int closedWindowExitCode() = 0;
    // How many processes run the program of that file name; ending them all.
    virtual int running(const QString& fileName) = 0;
    virtual void endAll(const QString& fileName) = 0;

    // The desktop's windows, as the program's own backend sees them.
    virtual Platform::WindowSystem& windows() = 0;
    // The top-level windows of a process, with their titles.
    QList<std::pair<Window, QString>> windowsOf(qint64 pid)
    {
        QList<std::pair<Window, QString>> found;
        for (const Platform::TopLevelWindow& window : windows().topLevelWindows()) {
            if (windows().windowProcessId(window.window) == Platform::ProcessId(pid))
                found.append({window.window, windows().windowTitle(window.window)});
        }
        return found;
    }
    Window foreground() { return windows().foregroundWindow(); }
    bool close(Window window) { return windows().postCloseRequest(Platform::WindowId(window)); }
    virtual bool onTop(Window window) = 0;
    virtual void pointerIntoCorner() = 0; // the bottom-right corner of the screen
    virtual void typeLine(const QString& text) = 0; // letters and digits, then Enter
};

// The real program, started with documents in a folder of its own beside it (where its
// activity log lies too), watched through the desktop. The scenarios every desktop runs are
// here; a desktop's own tests use the parts.
class ProgramDriver
{
public:
    using Window = ProgramDesktop::Window;
    static constexpr std::chrono::seconds Patience {90};
    static inline const QString MainTitle = QStringLiteral("Tollgate - Blocking Windows and Processes");
    static inline const QString MessageTitle = QStringLiteral("Tollgate Message");
    static inline const QString PromptTitle = QStringLiteral("Enter Tollgate Password");

    explicit ProgramDriver(ProgramDesktop& desktop)
        : m_desktop(desktop)
    { }
    ~ProgramDriver();
    ProgramDriver(const ProgramDriver&) = delete;
    ProgramDriver& operator=(const ProgramDriver&) = delete;

    // Why the program or its helpers could not be put in place; empty when they are.
    QString setUp();

    // A document with a blocked window, a blocked program and one that must always run:
    // all three enforced, the message on top, the log written, the main window never shown.
    void unattendedStartEnforcesTheDocument();
    // With a rule that blocks every window, another program's window is closed but the prompt
    // that the corner gesture opens never is; a wrong password keeps it, the right one stops
    // the survey and shows the main window, whose closing ends the program.
    void passwordStopsTheSurveyAndShowsTheMainWindow();
    // Its first half: a rule that blocks every window closes another program's window but
    // never the program's own message and prompt, however often the survey looks at them.
    // Gives the program and its prompt; the program is null when the half failed.
    std::pair<QProcess*, Window> blockEverythingSparesOwnWindows();
    // Started without a document, the program shows its main window, which stays alone once
    // the splash has closed; a second start, with or without a document, ends at once and
    // says nothing. Gives the titles seen before the main window.
    void interactiveStartThenASecondStart(QStringList* seenBeforeMain = nullptr);
    // Started with a document that is then replaced as configuration tools write it, the
    // program enforces the new rules and no longer the old; versions that cannot be read
    // (not a document, a folder) keep the last rules and are logged.
    void followsItsDocument();

    // Guarded: as the guard starts it, with standard input a pipe from the test.
    QProcess* start(const QStringList& arguments, bool guarded = false)
    {
        QProcessEnvironment environment = m_desktop.environment();
        if (guarded)
            environment.insert(QStringLiteral("TOLLGATE_GUARDED"), QStringLiteral("1"));
        return m_children.start(m_program, arguments, environment, ChildProcesses::Output::Captured);
    }
    // Writes the document as "lab rules.Tollgate" beside the program; the path has blanks.
    QString write(const DocumentBuilder& document)
    {
        return document.write(QDir(Sandbox::folder())
                                  .relativeFilePath(m_folder.filePath(QStringLiteral("lab rules.Tollgate"))));
    }
    QByteArray log() const { return Sandbox::readFile(m_folder.filePath(QStringLiteral("Tollgate.log"))); }
    // A program of the blocked name, sleeping.
    QProcess* startBlocked() { return startSleeper(m_blockedName); }
    // A sleeping program of either name the driver made.
    QProcess* startSleeper(const QString& name)
    {
        return startOnDesktop(QStringList {m_folder.filePath(name)} + m_desktop.sleepArguments());
    }
    const QString& blockedName() const { return m_blockedName; }
    QProcess* startWindow(const QString& title) { return startOnDesktop(m_desktop.windowCommand(title)); }

    QStringList titles(const QProcess* program);
    Window window(const QProcess* program, const QString& titleStart);
    bool showsMainWindow(const QProcess* program) { return window(program, MainTitle) != 0; }
    // Pushes the pointer into the corner until the prompt shows and has the focus; 0 when it never does.
    Window openPrompt(const QProcess* program);
    static bool ended(QProcess* process) { return ChildProcesses::exited(process); }

private:
    QProcess* startOnDesktop(const QStringList& command)
    {
        return m_children.start(command.first(), command.mid(1), m_desktop.environment());
    }

    ProgramDesktop& m_desktop;
    QTemporaryDir m_folder {Sandbox::folder() + QStringLiteral("/program XXXXXX")};
    QString m_program;
    QString m_blockedName;
    QString m_keptName;
    ChildProcesses m_children;
};

} // namespace Tollgate::Test
