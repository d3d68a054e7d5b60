#pragma once

#include "platform/ProgramFile.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

namespace Tollgate {

class RuleSet;

// Which programs a managed account may not run: those a Block rule names, and copies of
// them under any other name, known by the original name their version resource keeps or
// by their content. Asked by the exec listener's thread for every exec and set
// from the main thread, so every member is guarded by one lock.
class ExecPolicy
{
public:
    // Files up to this size are compared whole; larger ones by samples spread over them,
    // so that a lookup reads at most about a megabyte, whatever the program's size.
    static constexpr qint64 WholeContentLimit = qint64(4) << 20;
    static constexpr int Samples = 16;
    static constexpr qint64 SampleBytes = qint64(64) << 10;
    // Verdicts kept for files already looked at, by device, inode and modification time.
    static constexpr int MaxCachedVerdicts = 8192;

    struct Verdict
    {
        QString rule; // the Block rule's name; empty: allowed
        bool byContent = false; // the name differs: the content is that of a blocked program
        bool denied() const { return !rule.isEmpty(); }
    };

    // The names of the Block rules as written; contents learned for other names are dropped.
    void setBlockedNames(const QStringList& names);
    void setManagedAccounts(QSet<uint> uids);
    bool manages(uint uid) const;
    bool hasRules() const;

    Verdict decide(const Platform::ProgramFile& file);
    // Remembers the content of a program blocked under `rule`, so that copies of it are
    // denied whatever they are called. False when the file could not be read.
    bool learn(const Platform::ProgramFile& file, const QString& rule);
    int learnedContents() const;

    static QString fold(const QString& name);
    // The process names of a rule set's Block rules, in their order.
    static QStringList blockedNames(const RuleSet& rules);
    // What identifies a program's content; empty when it could not be read in full.
    static QByteArray contentId(const Platform::ProgramFile& file);

private:
    struct Content
    {
        QByteArray id;
        QString rule;
    };
    struct FileKey
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 modifiedNs = 0;
        qint64 size = 0;
        friend bool operator==(const FileKey&, const FileKey&) = default;
        friend size_t qHash(const FileKey& key, size_t seed = 0)
        {
            return qHashMulti(seed, key.device, key.inode, key.modifiedNs, key.size);
        }
    };
    static FileKey keyOf(const Platform::ProgramFile& file);
    QString ruleForContentLocked(const Platform::ProgramFile& file);

    mutable QMutex m_mutex;
    QSet<uint> m_managed;
    QHash<QString, QString> m_rulesByName; // folded name -> rule as written
    QHash<qint64, QList<Content>> m_contentsBySize;
    QHash<FileKey, QString> m_verdicts; // rule, or empty for allowed
    QSet<FileKey> m_learned; // files whose content is known, so that a denial reads them once
};

} // namespace Tollgate
