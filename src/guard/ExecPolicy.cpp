#include "ExecPolicy.h"

#include "lang/ActionCodes.h"
#include "store/RuleSet.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QMutexLocker>

namespace Tollgate {

QString ExecPolicy::fold(const QString& name)
{
    // The comparison the session program's survey makes for process names.
    return name.toLower().toUpper();
}

QStringList ExecPolicy::blockedNames(const RuleSet& rules)
{
    QStringList blocked;
    const RuleTable& table = rules.processRules();
    for (int row = 1; row <= table.count(); ++row) { // positions count from 1
        if (ProcessActionCode(table.cell(row, RuleSet::ProcessAction)) == qint32(ProcessAction::Block))
            blocked.append(table.cell(row, RuleSet::ProcessName));
    }
    return blocked;
}

void ExecPolicy::setBlockedNames(const QStringList& names)
{
    QMutexLocker lock(&m_mutex);
    m_rulesByName.clear();
    for (const QString& name : names) {
        if (!name.trimmed().isEmpty())
            m_rulesByName.insert(fold(name), name);
    }
    for (auto it = m_contentsBySize.begin(); it != m_contentsBySize.end();) {
        it->removeIf([&](const Content& content) { return !m_rulesByName.contains(fold(content.rule)); });
        it = it->isEmpty() ? m_contentsBySize.erase(it) : std::next(it);
    }
    m_verdicts.clear();
    m_learned.clear();
}

void ExecPolicy::setManagedAccounts(QSet<uint> uids)
{
    QMutexLocker lock(&m_mutex);
    m_managed = std::move(uids);
}

bool ExecPolicy::manages(uint uid) const
{
    // Root is never managed, whatever the configuration says.
    QMutexLocker lock(&m_mutex);
    return uid != 0 && m_managed.contains(uid);
}

bool ExecPolicy::hasRules() const
{
    QMutexLocker lock(&m_mutex);
    return !m_rulesByName.isEmpty();
}

int ExecPolicy::learnedContents() const
{
    QMutexLocker lock(&m_mutex);
    int count = 0;
    for (const QList<Content>& contents : m_contentsBySize)
        count += contents.size();
    return count;
}

ExecPolicy::FileKey ExecPolicy::keyOf(const Platform::ProgramFile& file)
{
    return {file.device, file.inode, file.modifiedNs, file.size};
}

QByteArray ExecPolicy::contentId(const Platform::ProgramFile& file)
{
    if (file.size < 0 || !file.read)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::number(file.size));
    const auto take = [&](qint64 offset, qint64 length) {
        const QByteArray bytes = file.read(offset, length);
        hash.addData(bytes);
        return bytes.size() == length;
    };
    if (file.size <= WholeContentLimit) {
        for (qint64 offset = 0; offset < file.size; offset += SampleBytes) {
            if (!take(offset, std::min(SampleBytes, file.size - offset)))
                return {};
        }
    } else {
        // The start and the end, and samples evenly between: copies are byte for byte
        // the same, and a different program of exactly the same size differs somewhere
        // in a megabyte of it.
        const qint64 step = (file.size - SampleBytes) / (Samples - 1);
        for (int i = 0; i < Samples; ++i) {
            if (!take(step * i, SampleBytes))
                return {};
        }
    }
    return hash.result();
}

bool ExecPolicy::learn(const Platform::ProgramFile& file, const QString& rule)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_learned.contains(keyOf(file)))
            return true;
    }
    const QByteArray id = contentId(file);
    if (id.isEmpty())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_rulesByName.contains(fold(rule)))
        return false;
    if (m_learned.size() >= MaxCachedVerdicts)
        m_learned.clear();
    m_learned.insert(keyOf(file));
    QList<Content>& contents = m_contentsBySize[file.size];
    if (std::none_of(contents.cbegin(), contents.cend(), [&](const Content& c) { return c.id == id; })) {
        contents.append({id, rule});
        m_verdicts.clear();
    }
    return true;
}

QString ExecPolicy::ruleForContentLocked(const Platform::ProgramFile& file)
{
    const auto contents = m_contentsBySize.constFind(file.size);
    if (contents == m_contentsBySize.cend())
        return {}; // the usual case: no blocked program has this size
    const FileKey key = keyOf(file);
    if (const auto cached = m_verdicts.constFind(key); cached != m_verdicts.cend())
        return *cached;
    const QByteArray id = contentId(file);
    QString rule;
    for (const Content& content : *contents) {
        if (!id.isEmpty() && content.id == id)
            rule = content.rule;
    }
    if (m_verdicts.size() >= MaxCachedVerdicts)
        m_verdicts.clear();
    m_verdicts.insert(key, rule);
    return rule;
}

ExecPolicy::Verdict ExecPolicy::decide(const Platform::ProgramFile& file)
{
    const QString name = fold(QFileInfo(file.path).fileName());
    QMutexLocker lock(&m_mutex);
    if (const auto byName = m_rulesByName.constFind(name); byName != m_rulesByName.cend())
        return {*byName, false};
    if (!file.originalName.isEmpty()) {
        if (const auto byOriginal = m_rulesByName.constFind(fold(QFileInfo(file.originalName).fileName()));
            byOriginal != m_rulesByName.cend())
            return {*byOriginal, true};
    }
    const QString rule = ruleForContentLocked(file);
    return {rule, !rule.isEmpty()};
}

} // namespace Tollgate
