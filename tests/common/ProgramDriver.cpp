#include "ProgramDriver.h"

#include "WaitUntil.h"
#include "profile/TextFile.h"

#include <gtest/gtest.h>

namespace Tollgate::Test {

ProgramDriver::~ProgramDriver()
{
    // The program first, so that it starts nothing again; then what it started.
    m_children.killAll();
    for (const QString& name : {m_keptName, m_blockedName}) {
        if (!name.isEmpty())
            m_desktop.endAll(name);
    }
}

QString ProgramDriver::setUp()
{
    if (!m_folder.isValid())
        return QStringLiteral("no folder for the program");
    m_program = m_desktop.installProgram(m_folder.path());
    m_blockedName = QFileInfo(m_desktop.makeSleeper(m_folder.path(), QStringLiteral("tgb"))).fileName();
    m_keptName = QFileInfo(m_desktop.makeSleeper(m_folder.path(), QStringLiteral("tga"))).fileName();
    if (m_program.isEmpty() || m_blockedName.isEmpty() || m_keptName.isEmpty())
        return QStringLiteral("the program or a sleeping program could not be copied into ")
            + m_folder.path();
    return QString();
}

QStringList ProgramDriver::titles(const QProcess* program)
{
    QStringList found;
    for (const auto& [window, title] : m_desktop.windowsOf(program->processId()))
        found.append(title);
    return found;
}

ProgramDriver::Window ProgramDriver::window(const QProcess* program, const QString& titleStart)
{
    for (const auto& [window, title] : m_desktop.windowsOf(program->processId())) {
        if (title.startsWith(titleStart))
            return window;
    }
    return 0;
}

ProgramDriver::Window ProgramDriver::openPrompt(const QProcess* program)
{
    Window prompt = 0;
    waitUntil(
        [&] {
            m_desktop.pointerIntoCorner();
            waitUntil([&] { return (prompt = window(program, PromptTitle)) != 0; }, std::chrono::seconds(1));
            return prompt != 0;
        },
        Patience);
    return prompt && waitUntil([&] { return m_desktop.foreground() == prompt; }, Patience) ? prompt : 0;
}

void ProgramDriver::unattendedStartEnforcesTheDocument()
{
    QProcess* sleeper = startBlocked();
    ASSERT_TRUE(sleeper);
    const QString kept = u'"' + QDir::toNativeSeparators(m_folder.filePath(m_keptName))
        + QStringLiteral("\" ") + m_desktop.sleepArguments().join(u' ');
    const QString path
        = write(DocumentBuilder()
                    .window(QStringLiteral("*forbidden-%1*").arg(m_blockedName), QStringLiteral("(1) Block"))
                    .process(m_blockedName, QStringLiteral("(3) Block"))
                    .process(m_keptName, QStringLiteral("(2) Always Run"), kept)
                    .password(QStringLiteral("pw")));
    // The path has blanks: it arrives in pieces and is whole again.
    QProcess* program = start(QDir::toNativeSeparators(path).split(u' '));
    ASSERT_TRUE(program);

    bool mainWindowSeen = false;
    const auto watching = [&](const std::function<bool()>& condition) {
        return waitUntil(
            [&] {
                mainWindowSeen = mainWindowSeen || showsMainWindow(program);
                return condition();
            },
            Patience);
    };
    ASSERT_TRUE(watching([&] { return ended(sleeper); })) << "the blocked process was not ended";
    EXPECT_TRUE(watching([&] { return m_desktop.running(m_keptName) == 1; }))
        << "the always-run program was not started";

    QProcess* game = startWindow(QStringLiteral("A forbidden-%1 game").arg(m_blockedName));
    ASSERT_TRUE(game);
    ASSERT_TRUE(watching([&] { return ended(game); })) << "the blocked window stayed";
    EXPECT_TRUE(
        game->exitStatus() == QProcess::NormalExit && game->exitCode() == m_desktop.closedWindowExitCode())
        << "the window was not asked to close but its process was ended";

    Window message = 0;
    ASSERT_TRUE(watching([&] {
        return (message = window(program, MessageTitle)) != 0 && m_desktop.onTop(message);
    })) << "no block message on top: "
        << titles(program).join(u'|').toStdString();
    const QByteArray blocked = m_blockedName.toUtf8();
    const QByteArray started = ";" + m_keptName.toUtf8() + ";(2) Always Run\r\n";
    EXPECT_TRUE(watching([&] {
        const QByteArray text = log();
        return text.startsWith("Date/Time;WindowTitle;Keyword\r\n")
            && text.contains(";A forbidden-" + blocked + " game;*forbidden-" + blocked + "*\r\n")
            && text.contains(";" + blocked + ";(3) Block\r\n") && text.count(started) == 1;
    })) << log().toStdString();

    // Ended again, it is started again.
    m_desktop.endAll(m_keptName);
    EXPECT_TRUE(watching([&] { return log().count(started) == 2 && m_desktop.running(m_keptName) == 1; }))
        << "the always-run program stayed ended";
    EXPECT_FALSE(ended(program));
    EXPECT_FALSE(mainWindowSeen) << "the main window showed";
}

std::pair<QProcess*, ProgramDriver::Window> ProgramDriver::blockEverythingSparesOwnWindows()
{
    QProcess* program = start({write(DocumentBuilder()
                                         .window(QStringLiteral("*"), QStringLiteral("(1) Block"))
                                         .process(m_blockedName, QStringLiteral("(3) Block"))
                                         .password(QStringLiteral("sesame42")))});
    QProcess* other = startWindow(QStringLiteral("anything"));
    const auto failed = std::pair<QProcess*, Window>(nullptr, 0);
    EXPECT_TRUE(program && other);
    if (!program || !other)
        return failed;
    if (!waitUntil([&] { return ended(other); }, Patience)) {
        ADD_FAILURE() << "the rule did not close another program's window";
        return failed;
    }
    // The prompt takes the focus and stays, however often the survey looks at it.
    const Window prompt = openPrompt(program);
    if (!prompt) {
        ADD_FAILURE() << "the corner gesture opened no prompt that took the focus: "
                      << titles(program).join(u'|').toStdString();
        return failed;
    }
    EXPECT_FALSE(waitUntil([&] { return window(program, PromptTitle) != prompt; }, std::chrono::seconds(3)))
        << "the rule closed the program's own prompt";
    for (const QString& own : {PromptTitle, MessageTitle})
        EXPECT_FALSE(log().contains(own.toUtf8())) << log().toStdString();
    return {program, prompt};
}

void ProgramDriver::passwordStopsTheSurveyAndShowsTheMainWindow()
{
    const auto [program, prompt] = blockEverythingSparesOwnWindows();
    ASSERT_TRUE(program);
    EXPECT_FALSE(showsMainWindow(program));
    m_desktop.typeLine(QStringLiteral("sesame4"));
    ASSERT_TRUE(waitUntil([&] { return window(program, PromptTitle) == prompt; }));
    EXPECT_FALSE(showsMainWindow(program)) << "a wrong password opened the main window";
    // The field keeps what was typed: one more character makes it right.
    m_desktop.typeLine(QStringLiteral("2"));
    ASSERT_TRUE(waitUntil([&] { return showsMainWindow(program); }, Patience))
        << "no main window after the password: " << titles(program).join(u'|').toStdString();
    EXPECT_TRUE(waitUntil([&] { return window(program, PromptTitle) == 0; })) << "the prompt stayed";

    // The survey stopped: a blocked program now stays.
    QProcess* sleeper = startBlocked();
    ASSERT_TRUE(sleeper);
    EXPECT_FALSE(sleeper->waitForFinished(3000)) << "the survey still ends blocked processes";

    // Closing the main window ends the program: nothing changed, nothing asked.
    ASSERT_TRUE(m_desktop.close(window(program, MainTitle)));
    ASSERT_TRUE(program->waitForFinished(30000)) << "closing the main window did not end the program";
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    EXPECT_FALSE(log().contains(PromptTitle.toUtf8())) << log().toStdString();
}

void ProgramDriver::interactiveStartThenASecondStart(QStringList* seenBeforeMain)
{
    QProcess* first = start({});
    QStringList seen;
    EXPECT_TRUE(first
        && waitUntil(
            [&] {
                const QStringList now = titles(first);
                if (!now.contains(MainTitle))
                    seen.append(now);
                return now.contains(MainTitle);
            },
            Patience))
        << "no main window";
    EXPECT_TRUE(first && waitUntil([&] { return titles(first) == QStringList {MainTitle}; }))
        << "more than the main window stayed";

    for (const QStringList& arguments :
        {QStringList {}, QStringList {Sandbox::folder() + QStringLiteral("/x")}}) {
        QProcess* second = start(arguments);
        ASSERT_TRUE(second && second->waitForFinished(30000)) << "the second instance did not end";
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
        EXPECT_TRUE(second->readAllStandardOutput().isEmpty());
        EXPECT_TRUE(second->readAllStandardError().isEmpty());
    }
    EXPECT_FALSE(first && ended(first));
    if (seenBeforeMain)
        *seenBeforeMain = seen;
}

void ProgramDriver::followsItsDocument()
{
    const QString path = write(DocumentBuilder().process(m_blockedName, QStringLiteral("(3) Block")));
    QProcess* program = start({path});
    QProcess* first = startBlocked();
    ASSERT_TRUE(program && first);
    ASSERT_TRUE(waitUntil([&] { return ended(first); }, Patience)) << "the first rules were not enforced";

    const QByteArray renamedRules
        = DocumentBuilder().process(m_keptName, QStringLiteral("(3) Block")).bytes();
    ASSERT_TRUE(TextFile::writeAtomically(path, renamedRules).isEmpty());
    QProcess* renamed = startSleeper(m_keptName);
    ASSERT_TRUE(renamed && waitUntil([&] { return ended(renamed); }, Patience))
        << "the new rule was not enforced";
    // The tick that ends the later sleeper also sees the earlier one.
    QProcess* spared = startBlocked();
    QProcess* later = startSleeper(m_keptName);
    ASSERT_TRUE(spared && later && waitUntil([&] { return ended(later); }, Patience));
    EXPECT_FALSE(ended(spared)) << "the old rule still held";

    const std::vector<std::function<bool()>> unreadable = {
        [&] { return TextFile::writeAtomically(path, "not a rule set\n").isEmpty(); },
        [&] { return QFile::remove(path) && QDir().mkdir(path); },
    };
    for (qsizetype n = 0; n < qsizetype(unreadable.size()); ++n) {
        ASSERT_TRUE(unreadable[n]());
        ASSERT_TRUE(waitUntil([&] { return log().count("not reloaded") > n; }, Patience))
            << log().toStdString();
        QProcess* still = startSleeper(m_keptName);
        ASSERT_TRUE(still && waitUntil([&] { return ended(still); }, Patience))
            << "the last rules were dropped";
    }
    EXPECT_EQ(log().count("not a rule-set document"), 1) << log().toStdString();
    EXPECT_FALSE(ended(program));
}

} // namespace Tollgate::Test
