#include "common/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using namespace Tollgate;

namespace {

struct ProgramRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ProgramRun tollgate(const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(str(TOLLGATE_BINARY), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

TEST(CommandLine, CheckDescribesTheDocumentAsJson)
{
    const QString path = Sandbox::writeFile(str("lab.Tollgate"),
        "[Windows]\r\nUserMessage=No$vbcrlf$games\r\nCount=2\r\nCaption_1=*Solit\xE4r*\r\n"
        "Action_1=1\r\nCaption_2=Calc*\r\nAction_2=9\r\n[Processes]\r\nIdleTime=90\r\nCount=1\r\n"
        "Process_1=xterm\r\nAction_1=2\r\nExe_1=/usr/bin/xterm\r\n[General]\r\nPassword=x\r\n");
    const ProgramRun run = tollgate({str("--check"), path});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error;
    const QJsonObject report = QJsonDocument::fromJson(run.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    EXPECT_EQ(report.value(str("document")).toString(), path);
    const QJsonArray windows = report.value(str("windows")).toArray();
    ASSERT_EQ(windows.size(), 2);
    EXPECT_EQ(windows.at(0).toObject().value(str("pattern")).toString(), str("*Solit\u00e4r*"));
    EXPECT_EQ(windows.at(0).toObject().value(str("action")).toString(), str("(1) Block"));
    EXPECT_EQ(windows.at(1).toObject().value(str("action")).toString(), QString());
    EXPECT_EQ(report.value(str("blockMessage")).toString(), str("No\r\ngames"));
    const QJsonObject process = report.value(str("processes")).toArray().at(0).toObject();
    EXPECT_EQ(process.value(str("name")).toString(), str("xterm"));
    EXPECT_EQ(process.value(str("action")).toString(), str("(2) Always Run"));
    EXPECT_EQ(process.value(str("exe")).toString(), str("/usr/bin/xterm"));
    EXPECT_EQ(report.value(str("idleTime")).toInt(), 90);
    EXPECT_EQ(report.value(str("timeoutMessage")).toString().size(), 213);
    EXPECT_TRUE(report.value(str("hasPassword")).toBool());
    EXPECT_EQ(report.value(str("warnings")).toArray().size(), 1) << "Action_2=9 is no window action";
}

TEST(CommandLine, CheckRefusesWhatIsNoReadableFile)
{
    for (const QString& path : {Sandbox::folder() + str("/missing.Tollgate"), Sandbox::folder(), QString()}) {
        const ProgramRun run = tollgate({str("--check"), path});
        EXPECT_EQ(run.exitCode, 2) << path.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith("tollgate: ")) << run.err.toStdString();
    }
    const ProgramRun noValue = tollgate({str("--check")});
    EXPECT_EQ(noValue.exitCode, 2);
    const ProgramRun unknown = tollgate({str("--frobnicate")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("frobnicate"));
}

TEST(CommandLine, HelpAndVersion)
{
    const ProgramRun help = tollgate({str("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--check"));
    const ProgramRun version = tollgate({str("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("tollgate ")) << version.out.toStdString();
}

TEST(CommandLine, WithoutADisplayTheWindowedStartSaysWhyInsteadOfAborting)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    const ProgramRun run = tollgate({Sandbox::folder() + str("/lab.Tollgate")}, environment);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.startsWith("tollgate: no display")) << run.err.toStdString();
}
