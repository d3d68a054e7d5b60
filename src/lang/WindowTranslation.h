#pragma once

#include <QString>

namespace Tollgate {

class MessageCatalogue;

// The captions that the current language file gives one window: the section named after
// the window, with entries named after its controls. The file is read once, when the
// translation is made; every lookup works on that text.
class WindowTranslation
{
public:
    // The entry that replaces the window's own title.
    static const QString FormCaptionEntry;

    WindowTranslation(const MessageCatalogue& catalogue, QString windowName);
    // For a language file's text already in memory.
    static WindowTranslation fromText(QString languageText, QString windowName);

    const QString& windowName() const { return m_windowName; }
    const QString& languageText() const { return m_text; }

    // The caption the window's section gives an entry, exactly as written; empty when the
    // section has no such entry or its value is empty. Names match with letter case, and
    // the "=" must follow the name directly.
    QString caption(const QString& entry) const;

    // The whole text of a language file. A chosen file that is missing from an existing
    // language folder is created empty there, so that an administrator finds where to
    // put it; any file that cannot be read gives the empty text.
    static QString readLanguageFile(const QString& path);

private:
    WindowTranslation(QString languageText, QString windowName);

    QString m_text;
    QString m_windowName;
};

} // namespace Tollgate
