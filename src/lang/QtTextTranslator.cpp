#include "QtTextTranslator.h"

#include "MessageCatalogue.h"
#include "store/SettingsStore.h"

namespace Tollgate {

namespace {
    const QString LineBreak = QStringLiteral("$vbcrlf$");
}

const QString QtTextTranslator::Section = QStringLiteral("Qt");

QtTextTranslator::QtTextTranslator(MessageCatalogue& catalogue)
    : m_catalogue(catalogue)
{
    reload();
    m_catalogue.setChoiceObserver([this] { reload(); });
}

QtTextTranslator::~QtTextTranslator()
{
    m_catalogue.setChoiceObserver({});
}

QString QtTextTranslator::entryName(const QString& context, const QString& sourceText)
{
    // The reader trims the blanks around a name, so the name goes without them.
    return (context + u'/' + QString(sourceText).replace(u'\n', LineBreak)).trimmed();
}

QString QtTextTranslator::translate(const char* context, const char* sourceText, const char*, int) const
{
    std::shared_ptr<const IniDocument> texts;
    {
        const QMutexLocker lock(&m_mutex);
        texts = m_texts;
    }
    if (!texts || !context || !sourceText)
        return {};
    const QString text = texts->readString(
        Section, entryName(QString::fromUtf8(context), QString::fromUtf8(sourceText)), QString());
    // A null result lets Qt fall back to its own English.
    return text.isEmpty() ? QString() : QString(text).replace(LineBreak, QStringLiteral("\n"));
}

void QtTextTranslator::reload()
{
    const QString name = m_catalogue.GetLanguageFile();
    auto texts
        = name.isEmpty() ? nullptr : m_catalogue.store().iniDocument(m_catalogue.LanguageFolder() + name);
    const QMutexLocker lock(&m_mutex);
    m_texts = std::move(texts);
}

} // namespace Tollgate
