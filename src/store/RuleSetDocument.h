#pragma once

#include <QString>
#include <QStringList>

namespace Tollgate {

class IniDocument;
class MessageCatalogue;
class RuleSet;

// Moves the rule set between memory and a ".Tollgate" document: an INI file with the
// sections Windows, Processes and General, written in that order.
class RuleSetDocument
{
public:
    // Hand-edited documents may claim any number of rows; no more than this are read.
    static constexpr int MaxRowsPerSection = 10000;

    struct LoadResult
    {
        bool fileRead = false; // false for an empty path or a file that could not be read
        QString error; // why an existing path could not be read
        QStringList warnings; // what in the document was out of bounds or not understood
    };

    RuleSetDocument(RuleSet& rules, const MessageCatalogue& catalogue);

    // Replaces the rule set by the document at path; an empty path, or one that names no
    // readable file, gives a new rule set. Clears the changed flag. A path that names no
    // file becomes the document's path; one whose file could not be read does not.
    LoadResult LoadRuleSet(const QString& path);
    // The same, for a document's bytes already read from path.
    LoadResult loadBytes(const QString& path, const QByteArray& bytes);

    // Whether the bytes hold any of the document's sections. An empty or half-written file,
    // or some other file put in the document's place, holds none; reading one as a document
    // would give an empty rule set.
    static bool isDocument(const QByteArray& bytes);

    // Writes the rule set to path, replacing the file atomically: on failure the old file
    // stays intact, the changed flag stays as it was, and the reason is returned.
    // An empty result means success.
    QString SaveRuleSet(const QString& path);

    QString GetDocumentPath() const { return m_documentPath; }
    const QString& documentPath() const { return m_documentPath; }

    // The document's full text, exactly as writing it entry by entry into an empty file
    // would lay it out.
    static QString documentText(const RuleSet& rules);

    static QString encodeMessage(const QString& message);
    static QString decodeMessage(const QString& value);

private:
    void load(const IniDocument& document, LoadResult& result);

    RuleSet& m_rules;
    const MessageCatalogue& m_catalogue;
    QString m_documentPath;
};

} // namespace Tollgate
