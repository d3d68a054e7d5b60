#include "RuleSetDocument.h"

#include "RuleSet.h"
#include "lang/ActionCodes.h"
#include "lang/MessageCatalogue.h"
#include "profile/IniDocument.h"
#include "profile/TextFile.h"

#include <QFileInfo>
#include <optional>

namespace Tollgate {

namespace {

    const QString kLineBreakCode = QStringLiteral("$vbcrlf$");
    const QString kCrLf = QStringLiteral("\r\n");

    const QString kWindows = QStringLiteral("Windows");
    const QString kProcesses = QStringLiteral("Processes");
    const QString kGeneral = QStringLiteral("General");
    const QString kUserMessage = QStringLiteral("UserMessage");
    const QString kCount = QStringLiteral("Count");
    const QString kIdleTime = QStringLiteral("IdleTime");
    const QString kPassword = QStringLiteral("Password");

    // A whole number written as an optional sign and decimal digits.
    std::optional<qint64> wholeNumber(const QString& text)
    {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty())
            return std::nullopt;
        for (qsizetype i = 0; i < trimmed.size(); ++i) {
            const QChar c = trimmed.at(i);
            const bool sign = i == 0 && (c == u'-' || c == u'+') && trimmed.size() > 1;
            if (!sign && (c < u'0' || c > u'9'))
                return std::nullopt;
        }
        bool ok = false;
        const qint64 number = trimmed.toLongLong(&ok);
        return ok ? std::optional<qint64>(number) : std::nullopt;
    }

    QString entry(const char* name, int n)
    {
        return QLatin1StringView(name) + QString::number(n);
    }

} // namespace

RuleSetDocument::RuleSetDocument(RuleSet& rules, const MessageCatalogue& catalogue)
    : m_rules(rules)
    , m_catalogue(catalogue)
{ }

QString RuleSetDocument::encodeMessage(const QString& message)
{
    return QString(message).replace(kCrLf, kLineBreakCode);
}

QString RuleSetDocument::decodeMessage(const QString& value)
{
    return QString(value).replace(kLineBreakCode, kCrLf);
}

RuleSetDocument::LoadResult RuleSetDocument::LoadRuleSet(const QString& path)
{
    QString error;
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        const TextFile::BytesResult read = TextFile::readBytes(path);
        if (read.ok)
            return loadBytes(path, read.bytes);
        error = read.error;
    }
    LoadResult result;
    result.error = error;
    // A file that is there but could not be read does not become the document: a later Save
    // would write over rules that nobody has seen.
    m_documentPath = error.isEmpty() ? path : QString();
    load(IniDocument(), result);
    return result;
}

RuleSetDocument::LoadResult RuleSetDocument::loadBytes(const QString& path, const QByteArray& bytes)
{
    LoadResult result;
    result.fileRead = true;
    m_documentPath = path;
    load(IniDocument::parse(TextFile::decode(bytes)), result);
    return result;
}

bool RuleSetDocument::isDocument(const QByteArray& bytes)
{
    const IniDocument document = IniDocument::parse(TextFile::decode(bytes));
    return document.hasSection(kWindows) || document.hasSection(kProcesses) || document.hasSection(kGeneral);
}

void RuleSetDocument::load(const IniDocument& document, LoadResult& result)
{
    auto warn = [&result](const QString& text) { result.warnings.append(text); };

    // How many rows a section claims, within bounds.
    auto rowCount = [&](const QString& section) {
        const QString text = document.readString(section, kCount, QStringLiteral("0"));
        const auto number = wholeNumber(text);
        if (!number) {
            warn(QStringLiteral("%1: Count \"%2\" is not a whole number; no rules read").arg(section, text));
            return 0;
        }
        if (*number > MaxRowsPerSection) {
            warn(QStringLiteral("%1: Count %2 is more than %3; only the first %3 rules read")
                     .arg(section, text)
                     .arg(MaxRowsPerSection));
            return MaxRowsPerSection;
        }
        return static_cast<int>(std::max<qint64>(*number, 0));
    };
    // Action texts by code, looked up once: the catalogue reads the language file.
    QStringList windowTexts;
    for (qint32 code = 0; code <= 2; ++code)
        windowTexts.append(WindowActionText(m_catalogue, code));
    QStringList processTexts;
    for (qint32 code = 0; code <= 3; ++code)
        processTexts.append(ProcessActionText(m_catalogue, code));

    // The action text of a stored code; empty when the code is not a number or has no text.
    // A row that names something but has no action is said; an empty row is not.
    auto actionText = [&](const QString& section, int n, const QString& fallback, const QStringList& texts,
                          const QString& subject) {
        const QString name = entry("Action_", n);
        const QString stored = document.readString(section, name, fallback);
        const auto code = wholeNumber(stored);
        if (!code) {
            if (!stored.isEmpty())
                warn(QStringLiteral("%1: %2 \"%3\" is not a number").arg(section, name, stored));
            else if (!subject.isEmpty())
                warn(QStringLiteral("%1: %2 is missing; the rule does nothing").arg(section, name));
            return QString();
        }
        if (*code < 0 || *code >= texts.size()) {
            warn(QStringLiteral("%1: %2 has no action %3").arg(section, name, stored));
            return QString();
        }
        return texts.at(static_cast<int>(*code));
    };

    m_rules.setBlockMessage(decodeMessage(document.readString(
        kWindows, kUserMessage, m_catalogue.MessageText(QStringLiteral("MSG_DEFAULT_BLOCK_MESSAGE")))));
    QList<QStringList> rows;
    const int windowCount = rowCount(kWindows);
    rows.reserve(windowCount);
    for (int n = 1; n <= windowCount; ++n) {
        const QString pattern = document.readString(kWindows, entry("Caption_", n), QString());
        rows.append({pattern, actionText(kWindows, n, QString(), windowTexts, pattern)});
    }
    m_rules.windowRules().resetRows(rows);

    m_rules.setTimeoutMessage(decodeMessage(document.readString(
        kProcesses, kUserMessage, m_catalogue.MessageText(QStringLiteral("MSG_DEFAULT_TIMEOUT_MESSAGE")))));
    const QString idleText = document.readString(kProcesses, kIdleTime, QStringLiteral("30"));
    if (const auto idle = wholeNumber(idleText)) {
        if (*idle < RuleSet::MinIdleTime || *idle > RuleSet::MaxIdleTime)
            warn(QStringLiteral("Processes: IdleTime %1 is outside %2 to %3 seconds; limited to that range")
                     .arg(idleText)
                     .arg(RuleSet::MinIdleTime)
                     .arg(RuleSet::MaxIdleTime));
        m_rules.setIdleTime(
            static_cast<int>(std::clamp<qint64>(*idle, RuleSet::MinIdleTime, RuleSet::MaxIdleTime)));
    } else {
        warn(
            QStringLiteral("Processes: IdleTime \"%1\" is not a whole number; the idle time stays %2 seconds")
                .arg(idleText)
                .arg(m_rules.idleTime()));
    }

    rows.clear();
    const int processCount = rowCount(kProcesses);
    rows.reserve(processCount);
    for (int n = 1; n <= processCount; ++n) {
        const QString name = document.readString(kProcesses, entry("Process_", n), QString());
        rows.append({name, actionText(kProcesses, n, QStringLiteral("0"), processTexts, name),
            document.readString(kProcesses, entry("Exe_", n), QString())});
    }
    m_rules.processRules().resetRows(rows);

    m_rules.setPassword(document.readString(kGeneral, kPassword, QString()));
    // Last, because filling in the password marks the rule set changed.
    m_rules.setChanged(false);
}

QString RuleSetDocument::documentText(const RuleSet& rules)
{
    QString text;
    auto line = [&text](const QString& name, const QString& value) {
        text += name;
        text += u'=';
        text += IniDocument::valueText(value);
        text += kCrLf;
    };
    const RuleTable& windows = rules.windowRules();
    const RuleTable& processes = rules.processRules();
    text.reserve(64 * (windows.count() + processes.count()) + 1024);

    text += u'[' + kWindows + u']' + kCrLf;
    line(kUserMessage, encodeMessage(rules.blockMessage()));
    line(kCount, QString::number(windows.count()));
    for (int n = 1; n <= windows.count(); ++n) {
        line(entry("Caption_", n), windows.cell(n, RuleSet::WindowPattern));
        line(entry("Action_", n), QString::number(WindowActionCode(windows.cell(n, RuleSet::WindowAction))));
    }
    text += u'[' + kProcesses + u']' + kCrLf;
    line(kUserMessage, encodeMessage(rules.timeoutMessage()));
    line(kIdleTime, QString::number(rules.idleTime()));
    line(kCount, QString::number(processes.count()));
    for (int n = 1; n <= processes.count(); ++n) {
        line(entry("Process_", n), processes.cell(n, RuleSet::ProcessName));
        line(entry("Action_", n),
            QString::number(ProcessActionCode(processes.cell(n, RuleSet::ProcessAction))));
        line(entry("Exe_", n), processes.cell(n, RuleSet::ProcessExe));
    }
    text += u'[' + kGeneral + u']' + kCrLf;
    line(kPassword, rules.password());
    return text;
}

QString RuleSetDocument::SaveRuleSet(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("no file name");
    TextFile::WriteOptions options;
    // The password is kept in clear text: only the owner may read a new document.
    options.newFilePermissions = QFile::ReadOwner | QFile::WriteOwner;
    const QString error = TextFile::writeAtomically(path, documentText(m_rules).toUtf8(), options);
    if (!error.isEmpty())
        return error;
    m_documentPath = path;
    m_rules.setChanged(false);
    return {};
}

} // namespace Tollgate
