// Load and save of rule-set documents, beside the entry-by-entry approach in which every
// read parses the file again and every write rewrites it.
#include "lang/ActionCodes.h"
#include "lang/MessageCatalogue.h"
#include "profile/IniDocument.h"
#include "profile/TextFile.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace Tollgate;

namespace {

struct Fixture
{
    QTemporaryDir folder;
    SettingsStore store {RegistryStore::Location {folder.path(), {}}};
    MessageCatalogue catalogue {store, ProgramPaths(folder.path(), folder.path())};
    RuleSet rules;
    RuleSetDocument document {rules, catalogue};

    // Half the rules are window rules, half process rules.
    explicit Fixture(int ruleCount)
    {
        document.LoadRuleSet(QString());
        QList<QStringList> windows;
        QList<QStringList> processes;
        for (int i = 0; i < ruleCount / 2; ++i) {
            windows.append({QStringLiteral("*Window title pattern %1*").arg(i), QStringLiteral("(1) Block")});
            processes.append({QStringLiteral("program%1").arg(i), QStringLiteral("(2) Always Run"),
                QStringLiteral("/usr/local/bin/program%1 --option").arg(i)});
        }
        rules.windowRules().resetRows(windows);
        rules.processRules().resetRows(processes);
    }
    QString path() const { return folder.filePath(QStringLiteral("bench.Tollgate")); }
};

void saveWhole(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (!f.document.SaveRuleSet(f.path()).isEmpty())
            state.SkipWithError("save failed");
    }
}

void loadWhole(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)));
    f.document.SaveRuleSet(f.path());
    for (auto _ : state)
        f.document.LoadRuleSet(f.path());
    if (f.rules.windowRules().count() != state.range(0) / 2)
        state.SkipWithError("wrong row count");
}

// The baseline writes: delete the file, then one profile write per entry.
void saveEntryByEntry(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)));
    const RuleTable& windows = f.rules.windowRules();
    const RuleTable& processes = f.rules.processRules();
    for (auto _ : state) {
        QFile::remove(f.path());
        auto write = [&](const char* section, const QString& name, const QString& value) {
            IniDocument doc = IniDocument::parse(TextFile::read(f.path()).text);
            doc.setValue(QLatin1StringView(section), name, value);
            TextFile::writeAtomically(f.path(), doc.toText().toUtf8());
        };
        write(
            "Windows", QStringLiteral("UserMessage"), RuleSetDocument::encodeMessage(f.rules.blockMessage()));
        write("Windows", QStringLiteral("Count"), QString::number(windows.count()));
        for (int n = 1; n <= windows.count(); ++n) {
            write("Windows", QStringLiteral("Caption_%1").arg(n), windows.cell(n, 0));
            write("Windows", QStringLiteral("Action_%1").arg(n),
                QString::number(WindowActionCode(windows.cell(n, 1))));
        }
        write("Processes", QStringLiteral("UserMessage"),
            RuleSetDocument::encodeMessage(f.rules.timeoutMessage()));
        write("Processes", QStringLiteral("IdleTime"), QString::number(f.rules.idleTime()));
        write("Processes", QStringLiteral("Count"), QString::number(processes.count()));
        for (int n = 1; n <= processes.count(); ++n) {
            write("Processes", QStringLiteral("Process_%1").arg(n), processes.cell(n, 0));
            write("Processes", QStringLiteral("Action_%1").arg(n),
                QString::number(ProcessActionCode(processes.cell(n, 1))));
            write("Processes", QStringLiteral("Exe_%1").arg(n), processes.cell(n, 2));
        }
        write("General", QStringLiteral("Password"), f.rules.password());
    }
}

// The baseline reads: every entry read parses the file again.
void loadEntryByEntry(benchmark::State& state)
{
    Fixture f(static_cast<int>(state.range(0)));
    f.document.SaveRuleSet(f.path());
    for (auto _ : state) {
        auto read = [&](const char* section, const QString& name, const QString& fallback) {
            return IniDocument::parse(TextFile::read(f.path()).text)
                .readString(QLatin1StringView(section), name, fallback);
        };
        QList<QStringList> windows;
        const int windowCount = read("Windows", QStringLiteral("Count"), QStringLiteral("0")).toInt();
        for (int n = 1; n <= windowCount; ++n)
            windows.append({read("Windows", QStringLiteral("Caption_%1").arg(n), QString()),
                WindowActionText(
                    f.catalogue, read("Windows", QStringLiteral("Action_%1").arg(n), QString()).toInt())});
        const int processCount = read("Processes", QStringLiteral("Count"), QStringLiteral("0")).toInt();
        QList<QStringList> processes;
        for (int n = 1; n <= processCount; ++n)
            processes.append({read("Processes", QStringLiteral("Process_%1").arg(n), QString()),
                ProcessActionText(
                    f.catalogue, read("Processes", QStringLiteral("Action_%1").arg(n), QString()).toInt()),
                read("Processes", QStringLiteral("Exe_%1").arg(n), QString())});
        f.rules.windowRules().resetRows(windows);
        f.rules.processRules().resetRows(processes);
    }
}

} // namespace

BENCHMARK(saveWhole)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(loadWhole)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
// 10,000 rules entry by entry take minutes per iteration; 100 and 1,000 show the trend.
BENCHMARK(saveEntryByEntry)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(loadEntryByEntry)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
