#include "ProgramRun.h"
#include "common/DocumentBuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace Tollgate;
using Test::ProgramRun;

namespace {

ProgramRun tollgate(const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    return Test::runProgram(str(TOLLGATE_BINARY), arguments, 30000, environment);
}

} // namespace

TEST(CommandLine, CheckDescribesTheDocumentAsJson)
{
    const QString path = Tollgate::Test::DocumentBuilder()
                             .window(str("*Solit\u00e4r*"), str("(1) Block"))
                             .window(str("Calc*"), str("(2) Bring To Front"))
                             .blockMessage(str("No\r\ngames"))
                             .process(str("xterm"), str("(2) Always Run"), str("/usr/bin/xterm"))
                             .process(str("steam.exe"), str("(3) Block"))
                             .idleTime(90)
                             .timeoutMessage(str("Idle"))
                             .password(str("x"))
                             .write(str("lab.Tollgate"));
    const ProgramRun run = tollgate({str("--check"), path});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error;
    const QJsonObject report = QJsonDocument::fromJson(run.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    const auto field = [&](const char* name) { return report.value(str(name)); };
    EXPECT_EQ(field("document").toString(), path);
    EXPECT_EQ(field("windows").toArray(),
        QJsonArray({QJsonObject {{str("pattern"), str("*Solit\u00e4r*")}, {str("action"), str("(1) Block")}},
            QJsonObject {{str("pattern"), str("Calc*")}, {str("action"), str("(2) Bring To Front")}}}));
    EXPECT_EQ(field("blockMessage").toString(), str("No\r\ngames"));
    EXPECT_EQ(field("processes").toArray().at(0).toObject(),
        (QJsonObject {{str("name"), str("xterm")}, {str("action"), str("(2) Always Run")},
            {str("exe"), str("/usr/bin/xterm")}}));
    EXPECT_EQ(field("idleTime").toInt(), 90);
    EXPECT_EQ(field("timeoutMessage").toString(), str("Idle"));
    EXPECT_TRUE(field("hasPassword").toBool());
    const QJsonArray warnings = field("warnings").toArray();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.at(0).toString().startsWith(str("Processes row 2 (\"steam.exe\")")))
        << warnings.at(0).toString().toStdString();

    // What reading the document found comes too: Action_1=9 is no window action.
    const ProgramRun odd = tollgate({str("--check"),
        Sandbox::writeFile(str("odd.Tollgate"),
            "[Windows]\r\nCount=1\r\nCaption_1=x\r\nAction_1=9\r\n[General]\r\nPassword=x\r\n")});
    EXPECT_EQ(QJsonDocument::fromJson(odd.out).object().value(str("warnings")).toArray().size(), 1)
        << odd.out.toStdString();
}

TEST(CommandLine, RefusesWhatIsNoReadableDocumentOrNoOption)
{
    const std::pair<QStringList, const char*> cases[] = {
        {{str("--check"), Sandbox::folder() + str("/missing.Tollgate")}, "no such file"},
        {{str("--check"), Sandbox::folder()}, "not a regular file"},
        {{str("--check"), QString()}, "no such file"},
        {{str("--check")}, "--check"},
        {{str("--frobnicate")}, "frobnicate"},
    };
    for (const auto& [arguments, says] : cases) {
        const ProgramRun run = tollgate(arguments);
        SCOPED_TRACE(arguments.join(u' ').toStdString() + " said " + run.err.toStdString());
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith("tollgate: ") && run.err.contains(says));
    }
}

TEST(CommandLine, WithoutADisplayTheWindowedStartSaysWhyInsteadOfAborting)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(str(name));
    const ProgramRun run = tollgate({Sandbox::folder() + str("/lab.Tollgate")}, environment);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.startsWith("tollgate: no display")) << run.err.toStdString();
}
