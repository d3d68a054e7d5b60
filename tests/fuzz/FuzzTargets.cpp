// Fuzz targets for everything that reads files a user or another program may have
// written: INI documents, language file text, registry files and rule-set documents.
#include "FuzzTargets.h"

#include "lang/MessageCatalogue.h"
#include "store/IniDocument.h"
#include "store/RegistryStore.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"
#include "store/TextFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

namespace Tollgate::Fuzz {

namespace {

    void check(bool condition, const char* what)
    {
        if (!condition) {
            fprintf(stderr, "fuzz check failed: %s\n", what);
            abort();
        }
    }

    // The first byte picks a name to look up, the rest is the text.
    QString pickName(const QByteArray& bytes)
    {
        static const char* const names[] = {"Windows", "Count", "Caption_1", "Messages", "lblInfo", "A", ""};
        return QString::fromLatin1(names[bytes.isEmpty() ? 0 : static_cast<uchar>(bytes.at(0)) % 7]);
    }

} // namespace

int ini(const QByteArray& bytes)
{
    const QString text = TextFile::decode(bytes);
    IniDocument doc = IniDocument::parse(text);
    check(doc.toText() == text, "an unchanged document writes back as it was read");
    const QString name = pickName(bytes);
    check(
        doc.readString(name, name, QString()).size() <= 2 * IniDocument::MaxValueChars, "reads are bounded");
    doc.setValue(name, QStringLiteral("Entry"), text.left(40));
    const IniDocument again = IniDocument::parse(doc.toText());
    if (!name.trimmed().isEmpty())
        check(again.value(name, QStringLiteral("Entry")) == IniDocument::singleLine(text.left(40)).trimmed(),
            "a written value reads back");
    return 0;
}

int iniText(const QByteArray& bytes)
{
    const QString text = TextFile::decode(bytes);
    const QString name = pickName(bytes);
    const SettingValue value = SettingsStore::ReadIniText(text, name, name, QStringLiteral("S"), 7);
    if (const auto* found = std::get_if<QString>(&value))
        check(!found->isEmpty() && text.contains(*found), "a value is part of the text");
    return 0;
}

int registry(const QByteArray& bytes)
{
    const QString text = TextFile::decode(bytes);
    const auto hive
        = static_cast<RegistryStore::Hive>(bytes.isEmpty() ? 0 : static_cast<uchar>(bytes.at(0)) % 6);
    const RegistryStore::HiveData data = RegistryStore::HiveData::parse(text, hive);
    const QString written = data.toText(hive);
    const RegistryStore::HiveData reread = RegistryStore::HiveData::parse(written, hive);
    check(reread.problems.isEmpty(), "what we write we can read");
    check(reread.toText(hive) == written, "writing is stable");
    return 0;
}

namespace {

    struct DocumentFixture
    {
        QTemporaryDir folder;
        SettingsStore store;
        MessageCatalogue catalogue;
        RuleSet rules;
        RuleSetDocument document;

        DocumentFixture()
            : store(RegistryStore::Location {folder.path(), {}})
            , catalogue(store, ProgramPaths(folder.path(), folder.path()))
            , document(rules, catalogue)
        { }
    };

} // namespace

int document(const QByteArray& bytes)
{
    static DocumentFixture fixture;
    fixture.document.loadBytes(QStringLiteral("fuzz.Tollgate"), bytes);
    const RuleSet& rules = fixture.rules;
    check(rules.windowRules().count() <= RuleSetDocument::MaxRowsPerSection, "rows are bounded");
    check(rules.processRules().count() <= RuleSetDocument::MaxRowsPerSection, "rows are bounded");
    check(rules.idleTime() >= RuleSet::MinIdleTime && rules.idleTime() <= RuleSet::MaxIdleTime,
        "idle time in range");
    // After one save, saving and loading again changes nothing.
    fixture.document.loadBytes(
        QStringLiteral("saved.Tollgate"), RuleSetDocument::documentText(rules).toUtf8());
    const QString text = RuleSetDocument::documentText(rules);
    fixture.document.loadBytes(QStringLiteral("again.Tollgate"), text.toUtf8());
    check(RuleSetDocument::documentText(rules) == text, "a saved document loads back the same");
    return 0;
}

} // namespace Tollgate::Fuzz
