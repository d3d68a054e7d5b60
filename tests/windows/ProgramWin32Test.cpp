// Tollgate.exe on Windows (Wine on a private X server in CI): real windows, real
// processes, the program's own files beside it, and a private home.
#include "common/TestEnvironment.h"
#include "common/WaitUntil.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
// tlhelp32.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

using namespace Tollgate;
using Tollgate::Test::waitUntil;

namespace {

const QString MainTitle = QStringLiteral("Tollgate - Blocking Windows and Processes");
const QString MessageTitle = QStringLiteral("Tollgate Message");
const QString PromptTitle = QStringLiteral("Enter Tollgate Password");
constexpr auto Patience = std::chrono::seconds(90);

QString titleOf(HWND window)
{
    wchar_t text[512] = {};
    const int length = GetWindowTextW(window, text, 512);
    return QString::fromWCharArray(text, qMax(length, 0));
}

// The visible top-level windows of a process, with their titles.
QList<HWND> windowsOf(qint64 pid)
{
    struct Search
    {
        DWORD pid;
        QList<HWND> found;
    } search {DWORD(pid), {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == search->pid && IsWindowVisible(window))
                search->found.append(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

QStringList titlesOf(qint64 pid)
{
    QStringList titles;
    for (HWND window : windowsOf(pid))
        titles.append(titleOf(window));
    return titles;
}

HWND windowOf(qint64 pid, const QString& titleStart)
{
    for (HWND window : windowsOf(pid)) {
        if (titleOf(window).startsWith(titleStart))
            return window;
    }
    return nullptr;
}

bool isTopMost(HWND window)
{
    return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// How many processes run the program of this file name.
int processCount(const QString& exeName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (QString::fromWCharArray(entry.szExeFile).compare(exeName, Qt::CaseInsensitive) == 0)
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

void sendKey(WORD virtualKey, WORD character)
{
    INPUT input[2] = {};
    for (INPUT& event : input) {
        event.type = INPUT_KEYBOARD;
        event.ki.wVk = virtualKey;
        event.ki.wScan = character;
        event.ki.dwFlags = character ? KEYEVENTF_UNICODE : 0;
    }
    input[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void typeText(const QString& text)
{
    for (const QChar character : text)
        sendKey(0, character.unicode());
}

void pressEnter()
{
    sendKey(VK_RETURN, 0);
}

bool ended(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(50);
}

class ProgramOnWindows : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        // A copy of the program with its files, so that its log, which lies beside it,
        // is this test's own.
        const QDir built(QStringLiteral(TOLLGATE_PROGRAM_FOLDER));
        QDirIterator files(built.path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            const QString relative = built.relativeFilePath(file);
            const bool belongs = relative == QStringLiteral("Tollgate.exe")
                || relative.endsWith(QStringLiteral(".dll"))
                || relative.startsWith(QStringLiteral("Language/"))
                || relative.startsWith(QStringLiteral("Icons/"))
                || relative.startsWith(QStringLiteral("Help/"));
            if (!belongs || relative.startsWith(QStringLiteral("platforms/qoffscreen")))
                continue;
            QDir().mkpath(QFileInfo(m_folder.filePath(relative)).absolutePath());
            ASSERT_TRUE(QFile::copy(file, m_folder.filePath(relative))) << qPrintable(relative);
        }
        m_program = m_folder.filePath(QStringLiteral("Tollgate.exe"));
        // Programs of our own names, so that rules touch nothing else on this machine.
        const QString tag
            = QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        m_blockedName = QStringLiteral("tgb%1.exe").arg(tag);
        m_keptName = QStringLiteral("tga%1.exe").arg(tag);
        m_windowName = QStringLiteral("tgw%1.exe").arg(tag);
        m_tag = tag;
        QDir().mkpath(m_folder.filePath(QStringLiteral("kept programs")));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TOLLGATE_TEST_CLIENT), m_folder.filePath(m_blockedName)));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TOLLGATE_TEST_CLIENT), m_folder.filePath(m_windowName)));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TOLLGATE_TEST_CLIENT),
            m_folder.filePath(QStringLiteral("kept programs/") + m_keptName)));
    }

    void TearDown() override
    {
        for (const auto& process : m_processes) {
            process->kill();
            process->waitForFinished(10000);
        }
        // An always-run program that Tollgate started is not ours to wait for.
        QProcess::execute(
            QStringLiteral("taskkill"), {QStringLiteral("/F"), QStringLiteral("/IM"), m_keptName});
    }

    QProcess& start(const QString& program, const QStringList& arguments)
    {
        auto process = std::make_unique<QProcess>();
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(30000)) << qPrintable(program);
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    QProcess& startProgram(const QStringList& arguments) { return start(m_program, arguments); }
    QProcess& startClient(const QStringList& arguments)
    {
        return start(m_folder.filePath(m_blockedName), arguments);
    }
    QProcess& startWindow(const QString& title)
    {
        return start(m_folder.filePath(m_windowName), {QStringLiteral("window"), title});
    }

    QByteArray logText() const
    {
        return Sandbox::readFile(m_folder.filePath(QStringLiteral("Tollgate.log")));
    }

    QString writeDocument(
        const QByteArray& windowRules, const QByteArray& processRules, const QByteArray& password)
    {
        return Sandbox::writeFile(
            QDir(Sandbox::folder()).relativeFilePath(m_folder.filePath(QStringLiteral("lab rules.Tollgate"))),
            "[Windows]\r\n" + windowRules + "[Processes]\r\n" + processRules
                + "[General]\r\nPassword=" + password + "\r\n");
    }

    // Pushes the pointer into the bottom-right corner until the password prompt shows.
    HWND openPromptByCorner(const QProcess& program)
    {
        HWND prompt = nullptr;
        waitUntil(
            [&] {
                SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
                waitUntil([&] { return (prompt = windowOf(program.processId(), PromptTitle)) != nullptr; },
                    std::chrono::seconds(1));
                return prompt != nullptr;
            },
            Patience);
        return prompt;
    }

    QTemporaryDir m_folder {Sandbox::folder() + QStringLiteral("/program XXXXXX")};
    QString m_program;
    QString m_tag;
    QString m_blockedName;
    QString m_keptName;
    QString m_windowName; // a program no process rule names, for the window rules
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace

TEST_F(ProgramOnWindows, UnattendedStartBlocksKeepsRunningShowsTheMessageAndLogs)
{
    QProcess& sleeper = startClient({QStringLiteral("sleep"), QStringLiteral("600")});
    const QByteArray keptPath
        = QDir::toNativeSeparators(m_folder.filePath(QStringLiteral("kept programs/") + m_keptName)).toUtf8();
    const QString path
        = writeDocument("Count=1\r\nCaption_1=*forbidden-" + m_tag.toUtf8() + "*\r\nAction_1=1\r\n",
            "Count=2\r\nProcess_1=" + m_blockedName.toUtf8() + "\r\nAction_1=3\r\nProcess_2="
                + m_keptName.toUtf8() + "\r\nAction_2=2\r\nExe_2=\"" + keptPath + "\" sleep 600\r\n",
            "pw");
    QProcess& program = startProgram({QDir::toNativeSeparators(path)});

    bool mainWindowSeen = false;
    const auto watching = [&](const std::function<bool()>& condition) {
        return waitUntil(
            [&] {
                mainWindowSeen = mainWindowSeen || windowOf(program.processId(), MainTitle);
                return condition();
            },
            Patience);
    };
    ASSERT_TRUE(watching([&] { return ended(sleeper); })) << "the blocked process was not ended";
    EXPECT_TRUE(watching([&] { return processCount(m_keptName) == 1; }))
        << "the always-run program was not started";

    QProcess& game = startWindow(QStringLiteral("A forbidden-%1 game").arg(m_tag));
    ASSERT_TRUE(watching([&] { return ended(game); })) << "the blocked window stayed";
    EXPECT_EQ(game.exitCode(), 0) << "the window was not asked to close but its process was ended";

    HWND message = nullptr;
    ASSERT_TRUE(watching([&] {
        return (message = windowOf(program.processId(), MessageTitle)) && isTopMost(message);
    })) << "no block message on top: "
        << titlesOf(program.processId()).join(u'|').toStdString();
    EXPECT_TRUE(watching([&] {
        const QByteArray log = logText();
        return log.contains(";A forbidden-" + m_tag.toUtf8() + " game;*forbidden-" + m_tag.toUtf8() + "*\r\n")
            && log.contains(";" + m_blockedName.toUtf8() + ";(3) Block\r\n");
    })) << logText().toStdString();
    EXPECT_TRUE(logText().startsWith("Date/Time;WindowTitle;Keyword\r\n"));

    // Ended again, it is started again.
    QProcess::execute(QStringLiteral("taskkill"), {QStringLiteral("/F"), QStringLiteral("/IM"), m_keptName});
    EXPECT_TRUE(watching([&] { return processCount(m_keptName) == 1; }))
        << "the always-run program stayed ended";
    EXPECT_FALSE(ended(program));
    EXPECT_FALSE(mainWindowSeen) << "the main window showed";
}

TEST_F(ProgramOnWindows, CornerGestureAndPasswordBringTheMainWindowBack)
{
    const QString path = writeDocument(
        "Count=0\r\n", "Count=1\r\nProcess_1=" + m_blockedName.toUtf8() + "\r\nAction_1=3\r\n", "sesame42");
    QProcess& program = startProgram({QDir::toNativeSeparators(path)});

    const HWND prompt = openPromptByCorner(program);
    ASSERT_NE(prompt, nullptr) << "the corner gesture opened no prompt: "
                               << titlesOf(program.processId()).join(u'|').toStdString();
    EXPECT_FALSE(windowOf(program.processId(), MainTitle));
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == prompt; }, Patience))
        << "the prompt did not take the focus";

    typeText(QStringLiteral("sesame4"));
    pressEnter();
    ASSERT_TRUE(waitUntil([&] { return windowOf(program.processId(), PromptTitle) == prompt; }));
    EXPECT_FALSE(windowOf(program.processId(), MainTitle)) << "a wrong password opened the main window";

    typeText(QStringLiteral("2"));
    pressEnter();
    ASSERT_TRUE(waitUntil([&] { return windowOf(program.processId(), MainTitle) != nullptr; }, Patience))
        << "no main window after the password: " << titlesOf(program.processId()).join(u'|').toStdString();

    // The survey stopped: a blocked program now stays.
    QProcess& sleeper = startClient({QStringLiteral("sleep"), QStringLiteral("600")});
    EXPECT_FALSE(sleeper.waitForFinished(3000)) << "the survey still ends blocked processes";

    // Closing the main window ends the program: nothing changed, nothing asked.
    PostMessageW(windowOf(program.processId(), MainTitle), WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.waitForFinished(30000)) << "closing the main window did not end the program";
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramOnWindows, ASecondStartEndsAtOnceAndSilently)
{
    QProcess& first = startProgram({});
    ASSERT_TRUE(waitUntil([&] { return windowOf(first.processId(), MainTitle) != nullptr; }, Patience))
        << "no main window: " << titlesOf(first.processId()).join(u'|').toStdString();
    QProcess& second = startProgram({});
    ASSERT_TRUE(second.waitForFinished(30000)) << "the second instance did not end";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_FALSE(ended(first));
}
