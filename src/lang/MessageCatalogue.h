#pragma once

#include "ProgramPaths.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace Tollgate {

class SettingsStore;

// Every text that code puts on the screen, by key: the current language file's
// "Messages" entry when it is not empty, else the built-in English text.
class MessageCatalogue
{
public:
    MessageCatalogue(SettingsStore& store, ProgramPaths paths);

    // The text for a key; the empty text for a key that neither the file nor the
    // built-in table has.
    QString MessageText(const QString& key) const;
    static QString builtInText(const QString& key);
    // Every key that has a built-in text, in the table's order.
    static QStringList builtInKeys();

    // The language folder, ending with a separator.
    QString LanguageFolder() const;
    // The chosen language file's bare name; empty when none is chosen.
    QString GetLanguageFile() const;
    // Stores the file-name part of the path as the choice; an empty path clears it.
    void SetLanguageFile(const QString& path);
    // Called after every SetLanguageFile, for readers that keep what they read of a file.
    void setChoiceObserver(std::function<void()> observer) { m_choiceObserver = std::move(observer); }
    // The path of the current language file (the folder itself when none is chosen).
    QString languageFilePath() const;

    const ProgramPaths& paths() const { return m_paths; }
    SettingsStore& store() const { return m_store; }

    static const QString RegistryStoreName;
    static const QString RegistryKey;
    static const QString RegistryValue;

private:
    SettingsStore& m_store;
    ProgramPaths m_paths;
    std::function<void()> m_choiceObserver;
};

} // namespace Tollgate
