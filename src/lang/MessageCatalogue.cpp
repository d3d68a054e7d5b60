#include "MessageCatalogue.h"

#include "store/SettingsStore.h"

namespace Tollgate {

namespace {

    struct BuiltIn
    {
        const char16_t* key;
        const char16_t* text;
    };

    constexpr BuiltIn kBuiltIns[] = {
        {u"CONFIRM_CLEAR_LIST", u"Are you sure you want to clear this list?"},
        {u"CONFIRM_CLEAR_ITEM", u"Are you sure you want to delete this item?"},
        {u"MSG_DEFAULT_BLOCK_MESSAGE",
            u"This Operation is not allowed\r\n\r\nDiese Operation is nicht erlaubt\r\n\r\n"
            u"Questa operazione non \u00e8 permessa"},
        {u"MSG_DEFAULT_TIMEOUT_MESSAGE",
            u"The Computer is Idle. Unnecessary Processes will be closed.\r\n\r\n"
            u"Der Computer ist im Leerlauf. Unn\u00f6tige Prozesse werden geschlossen.\r\n\r\n"
            u"Questo PC non sta venendo utilizzato. Processi non necessari saranno terminati."},
        {u"MSG_SETTINGS_CHANGED", u"The settings have been changed. Do you want to save changes?"},
        {u"CAPTION_RUN", u"&Run"},
        {u"CAPTION_STOP", u"&Stop"},
        {u"INFO_WINDOWS", u"Add Top-Level Windows to survey"},
        {u"INFO_PROCESSES", u"Add Processes to survey"},
        {u"MSG_LANGUAGE_DEFAULT_RESTORED",
            u"The default Language has been restored. Please restart the Program"},
        {u"CAPTION_OK", u"&OK"},
        {u"CAPTION_CANCEL", u"&Cancel"},
        {u"CONFIRM_CLEAR_LOG", u"Are you sure you want to delete the logfile?"},
        {u"ACTION_WINDOW_IGNORE", u"(0) Ignore"},
        {u"ACTION_WINDOW_BLOCK", u"(1) Block"},
        {u"ACTION_WINDOW_TO_FRONT", u"(2) Bring To Front"},
        {u"ACTION_PROCESS_IGNORE", u"(0) Ignore"},
        {u"ACTION_PROCESS_CLOSE", u"(1) Close Process when Computer is Idle"},
        {u"ACTION_PROCESS_ALWAYS_RUN", u"(2) Always Run"},
        {u"ACTION_PROCESS_BLOCK", u"(3) Block"},
        // %1 is the document's path, %2 why it could not be written.
        {u"MSG_SAVE_FAILED", u"The rule set could not be saved to %1: %2"},
        // %1 is the chosen file's path, %2 why it could not be read.
        {u"MSG_OPEN_FAILED", u"The rule set could not be read from %1: %2"},
        // A log line's last field when an Always Run program could not be started; %1 is the
        // rule's action text.
        {u"MSG_START_FAILED", u"%1: could not be started"},
    };

} // namespace

const QString MessageCatalogue::RegistryStoreName = QStringLiteral("HKLM");
const QString MessageCatalogue::RegistryKey = QStringLiteral("Software\\Harbrook\\Tollgate\\");
const QString MessageCatalogue::RegistryValue = QStringLiteral("Language");

MessageCatalogue::MessageCatalogue(SettingsStore& store, ProgramPaths paths)
    : m_store(store)
    , m_paths(std::move(paths))
{ }

QString MessageCatalogue::builtInText(const QString& key)
{
    for (const BuiltIn& entry : kBuiltIns) {
        if (key == QStringView(entry.key))
            return QString::fromUtf16(entry.text);
    }
    return {};
}

QStringList MessageCatalogue::builtInKeys()
{
    QStringList keys;
    for (const BuiltIn& entry : kBuiltIns)
        keys.append(QString::fromUtf16(entry.key));
    return keys;
}

QString MessageCatalogue::LanguageFolder() const
{
    return m_paths.languageFolder();
}

QString MessageCatalogue::GetLanguageFile() const
{
    const auto read
        = m_store.ReadSetting(RegistryStoreName, RegistryKey, RegistryValue, QStringLiteral("S"), QString());
    const QString name = settingText(read.value);
    // Only a bare name is a choice; a hand-edited path must not lead out of the folder.
    return name.section(u'/', -1).section(u'\\', -1);
}

void MessageCatalogue::SetLanguageFile(const QString& path)
{
    const QString name = path.section(u'/', -1).section(u'\\', -1);
    m_store.WriteSetting(RegistryStoreName, RegistryKey, RegistryValue, QStringLiteral("S"), name);
    if (m_choiceObserver)
        m_choiceObserver();
}

QString MessageCatalogue::languageFilePath() const
{
    return LanguageFolder() + GetLanguageFile();
}

QString MessageCatalogue::MessageText(const QString& key) const
{
    const QString name = GetLanguageFile();
    if (!name.isEmpty() && !key.isEmpty()) {
        const QString value = m_store.iniDocument(LanguageFolder() + name)
                                  ->readString(QStringLiteral("Messages"), key, QString());
        if (!value.isEmpty())
            return value;
    }
    return builtInText(key);
}

} // namespace Tollgate
