// Fuzz targets for everything that reads text a user or another program may have written:
// INI documents, language files, registry files, rule-set documents, title patterns and
// titles, COMPOUND_TEXT window names, /proc files and Always Run command lines.
#include "FuzzTargets.h"

#include "lang/MessageCatalogue.h"
#include "lang/WindowTranslation.h"
#include "platform/ShellWords.h"
#include "platform/linux/ProcFields.h"
#include "platform/x11/CompoundText.h"
#include "store/IniDocument.h"
#include "store/RegistryStore.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"
#include "store/TextFile.h"
#include "survey/TitlePattern.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
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

int language(const QByteArray& bytes)
{
    static const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fuzz.lng"));
    {
        QFile file(path);
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the language file can be written");
        file.write(bytes);
    }
    const QString text = WindowTranslation::readLanguageFile(path);
    check(text == TextFile::decode(bytes), "a language file reads as its decoded text");
    static const char* const windows[] = {"frmMain", "frmMessage", "Messages", "", "[x]"};
    static const char* const entries[] = {"FORM_CAPTION", "lblInfo", "CAPTION_RUN", "cmdOK", "="};
    const QString windowName = QString::fromLatin1(windows[bytes.isEmpty() ? 0 : uchar(bytes.at(0)) % 5]);
    const WindowTranslation translation = WindowTranslation::fromText(text, windowName);
    for (const char* entry : entries) {
        const QString caption = translation.caption(QString::fromLatin1(entry));
        check(caption.size() <= text.size(), "a caption comes out of the text");
    }
    return 0;
}

int pattern(const QByteArray& bytes)
{
    // A pattern, a NUL byte, then a title; without one, the same text is both.
    const qsizetype split = bytes.indexOf('\0');
    const QString patternText = QString::fromUtf8(split < 0 ? bytes : bytes.first(split));
    const QString title = split < 0 ? patternText : QString::fromUtf8(bytes.sliced(split + 1));
    const TitlePattern compiled(patternText);
    const QList<char32_t> lowerTitle = TitlePattern::lowerCaseCharacters(title);
    const qint64 patternLength = TitlePattern::lowerCaseCharacters(patternText).size();
    qint64 steps = 0;
    const bool matched = compiled.matchesLowerCase(lowerTitle, &steps);
    check(steps <= (patternLength + 2) * (qint64(lowerTitle.size()) + 2),
        "matching work is bounded by pattern length times title length");
    check(!matched || compiled.isValid(), "a malformed pattern matches nothing");
    // Text without wildcards is a pattern that matches exactly itself, in any case.
    static const QString wildcards = QStringLiteral("*?#[");
    if (std::none_of(title.begin(), title.end(), [](QChar c) { return wildcards.contains(c); }))
        check(TitlePattern(title).matches(title), "a plain title matches itself");
    if (compiled.isValid() && !patternText.isEmpty())
        check(TitlePattern(QStringLiteral("*") + patternText).matches(title) || !matched,
            "a leading star matches at least what the pattern did");
    return 0;
}

int compoundText(const QByteArray& bytes)
{
    const QString text = Platform::CompoundText::decode(bytes);
    check(text.size() <= 2 * bytes.size(), "decoding does not invent text");
    return 0;
}

int proc(const QByteArray& bytes)
{
    using Platform::ProcFields;
    if (const auto stat = ProcFields::parseStat(bytes)) {
        check(bytes.contains(stat->commandName), "the command name is part of stat");
        ProcFields::isRunningProgram(*stat);
    }
    for (const QString& name : {ProcFields::exeName(bytes), ProcFields::commandLineName(bytes)})
        check(!name.contains(u'/'), "a program name has no folders");
    const ProcFields::TaskCounters counters = ProcFields::taskCounters(bytes);
    check(counters.total >= 0 || counters.lastPid == 0, "task counters come both or not at all");
    ProcFields::statusGrantsKill(bytes);
    return 0;
}

int shellWords(const QByteArray& bytes)
{
    const QString commandLine = QString::fromUtf8(bytes);
    const std::optional<QStringList> words = Platform::ShellWords::split(commandLine);
    if (!words)
        return 0;
    // Each word quoted again splits back into the same words.
    QStringList quoted;
    for (QString word : *words)
        quoted.append(u'\'' + word.replace(u'\'', QStringLiteral("'\\''")) + u'\'');
    const std::optional<QStringList> again = Platform::ShellWords::split(quoted.join(u' '));
    check(again && *again == *words, "quoted words split back into themselves");
    return 0;
}

} // namespace Tollgate::Fuzz
