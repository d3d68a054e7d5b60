// Fuzz targets for everything that reads text a user or another program may have written:
// INI documents, language files, registry files, rule-set documents, title patterns and
// titles, COMPOUND_TEXT window names, /proc files and Always Run command lines. Each binary
// feeds the one that TOLLGATE_FUZZ_TARGET names; each aborts when an invariant breaks.
#include "lang/MessageCatalogue.h"
#include "lang/WindowTranslation.h"
#include "platform/ShellWords.h"
#include "platform/linux/ProcFields.h"
#include "platform/x11/CompoundText.h"
#include "profile/IniDocument.h"
#include "profile/TextFile.h"
#include "store/RegistryStore.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"
#include "survey/TitlePattern.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>

namespace Tollgate::Fuzz {

static void check(bool condition, const char* what)
{
    if (!condition)
        qFatal("fuzz check failed: %s", what);
}

// The first byte picks one of the names, the rest is the text.
static QString pickName(const QByteArray& bytes,
    std::initializer_list<const char*> names
    = {"Windows", "Count", "Caption_1", "Messages", "lblInfo", "A", ""})
{
    return QString::fromLatin1(names.begin()[bytes.isEmpty() ? 0 : uchar(bytes.at(0)) % names.size()]);
}

void ini(const QByteArray& bytes)
{
    const QString text = TextFile::decode(bytes);
    IniDocument doc = IniDocument::parse(text);
    check(doc.toText() == text, "an unchanged document writes back as it was read");
    const QString name = pickName(bytes);
    check(doc.readString(name, name, {}).size() <= 2 * IniDocument::MaxValueChars, "reads are bounded");
    doc.setValue(name, QStringLiteral("Entry"), text.left(40));
    // As the profile service would read it: without blanks at either end, then up to any NUL.
    QString written = IniDocument::singleLine(text.left(40));
    while (!written.isEmpty() && IniDocument::isBlank(written.back()))
        written.chop(1);
    while (!written.isEmpty() && IniDocument::isBlank(written.front()))
        written.remove(0, 1);
    written.truncate(written.indexOf(QChar(0)) < 0 ? written.size() : written.indexOf(QChar(0)));
    if (!name.trimmed().isEmpty())
        check(IniDocument::parse(doc.toText()).readString(name, QStringLiteral("Entry"), QStringLiteral("?"))
                == written,
            "a written value reads back");
}

void iniText(const QByteArray& bytes)
{
    const QString text = TextFile::decode(bytes);
    const QString name = pickName(bytes);
    const SettingValue value = SettingsStore::ReadIniText(text, name, name, QStringLiteral("S"), 7);
    if (const auto* found = std::get_if<QString>(&value))
        check(!found->isEmpty() && text.contains(*found), "a value is part of the text");
}

void registry(const QByteArray& bytes)
{
    const auto hive = static_cast<RegistryStore::Hive>(bytes.isEmpty() ? 0 : uchar(bytes.at(0)) % 6);
    const QString written = RegistryStore::HiveData::parse(TextFile::decode(bytes), hive).toText(hive);
    const RegistryStore::HiveData reread = RegistryStore::HiveData::parse(written, hive);
    check(reread.problems.isEmpty(), "what we write we can read");
    check(reread.toText(hive) == written, "writing is stable");
}

void document(const QByteArray& bytes)
{
    static const QTemporaryDir folder;
    static SettingsStore store(RegistryStore::Location {folder.path(), {}});
    static const MessageCatalogue catalogue(store, ProgramPaths(folder.path(), folder.path()));
    static RuleSet rules;
    static RuleSetDocument document(rules, catalogue);
    document.loadBytes(QStringLiteral("fuzz.Tollgate"), bytes);
    check(std::max(rules.windowRules().count(), rules.processRules().count())
                <= RuleSetDocument::MaxRowsPerSection
            && rules.idleTime() >= RuleSet::MinIdleTime && rules.idleTime() <= RuleSet::MaxIdleTime,
        "rows are bounded and the idle time in range");
    // After one save, saving and loading again changes nothing.
    document.loadBytes(QStringLiteral("saved.Tollgate"), RuleSetDocument::documentText(rules).toUtf8());
    const QString text = RuleSetDocument::documentText(rules);
    document.loadBytes(QStringLiteral("again.Tollgate"), text.toUtf8());
    check(RuleSetDocument::documentText(rules) == text, "a saved document loads back the same");
}

void language(const QByteArray& bytes)
{
    static const QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("fuzz.lng")));
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
            && file.flush(),
        "the language file can be written");
    const QString text = WindowTranslation::readLanguageFile(file.fileName());
    check(text == TextFile::decode(bytes), "a language file reads as its decoded text");
    const WindowTranslation translation = WindowTranslation::fromText(
        text, pickName(bytes, {"frmMain", "frmMessage", "Messages", "", "[x]"}));
    for (const char* entry : {"FORM_CAPTION", "lblInfo", "CAPTION_RUN", "cmdOK", "="})
        check(translation.caption(QString::fromLatin1(entry)).size() <= text.size(),
            "a caption comes out of the text");
}

void pattern(const QByteArray& bytes)
{
    // A pattern, a NUL byte, then a title; without one, the same text is both.
    const qsizetype split = bytes.indexOf('\0');
    const QString patternText = QString::fromUtf8(split < 0 ? bytes : bytes.first(split));
    const QString title = split < 0 ? patternText : QString::fromUtf8(bytes.sliced(split + 1));
    const TitlePattern compiled(patternText);
    const QList<char32_t> lowerTitle = TitlePattern::lowerCaseCharacters(title);
    qint64 steps = 0;
    const bool matched = compiled.matchesLowerCase(lowerTitle, &steps);
    check(steps <= (TitlePattern::lowerCaseCharacters(patternText).size() + 2) * (lowerTitle.size() + 2),
        "matching work is bounded by pattern length times title length");
    check(!matched || compiled.isValid(), "a malformed pattern matches nothing");
    // Text without wildcards is a pattern that matches exactly itself, in any case.
    if (std::none_of(title.begin(), title.end(), [](QChar c) { return QStringLiteral("*?#[").contains(c); }))
        check(TitlePattern(title).matches(title), "a plain title matches itself");
    if (compiled.isValid() && !patternText.isEmpty())
        check(TitlePattern(QStringLiteral("*") + patternText).matches(title) || !matched,
            "a leading star matches at least what the pattern did");
}

void compoundText(const QByteArray& bytes)
{
    check(Platform::CompoundText::decode(bytes).size() <= 2 * bytes.size(), "decoding does not invent text");
}

void proc(const QByteArray& bytes)
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
}

void shellWords(const QByteArray& bytes)
{
    const std::optional<QStringList> words = Platform::ShellWords::split(QString::fromUtf8(bytes));
    // Each word quoted again splits back into the same words.
    QStringList quoted;
    for (QString word : words.value_or(QStringList()))
        quoted.append(u'\'' + word.replace(u'\'', QStringLiteral("'\\''")) + u'\'');
    const std::optional<QStringList> again = Platform::ShellWords::split(quoted.join(u' '));
    check(!words || (again && *again == *words), "quoted words split back into themselves");
}

} // namespace Tollgate::Fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Tollgate::Fuzz::TOLLGATE_FUZZ_TARGET(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
