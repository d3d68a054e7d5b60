#include "WindowTranslation.h"

#include "MessageCatalogue.h"
#include "profile/TextFile.h"
#include "store/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Tollgate {

const QString WindowTranslation::FormCaptionEntry = QStringLiteral("FORM_CAPTION");

WindowTranslation::WindowTranslation(QString languageText, QString windowName)
    : m_text(std::move(languageText))
    , m_windowName(std::move(windowName))
{ }

WindowTranslation::WindowTranslation(const MessageCatalogue& catalogue, QString windowName)
    : m_windowName(std::move(windowName))
{
    const QString name = catalogue.GetLanguageFile();
    if (!name.isEmpty())
        m_text = readLanguageFile(catalogue.LanguageFolder() + name);
}

WindowTranslation WindowTranslation::fromText(QString languageText, QString windowName)
{
    return WindowTranslation(std::move(languageText), std::move(windowName));
}

QString WindowTranslation::readLanguageFile(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return {};
    if (!info.exists()) {
        if (info.absoluteDir().exists()) {
            QFile file(path);
            // Best effort: a read-only folder simply keeps no placeholder.
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                file.close();
        }
        return {};
    }
    const TextFile::BytesResult read = TextFile::readBytes(path);
    return read.ok ? TextFile::decode(read.bytes) : QString();
}

QString WindowTranslation::caption(const QString& entry) const
{
    if (m_text.isEmpty() || entry.isEmpty())
        return {};
    return settingText(
        SettingsStore::ReadIniText(m_text, m_windowName, entry, QStringLiteral("S"), QString()));
}

} // namespace Tollgate
