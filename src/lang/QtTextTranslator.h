#pragma once

#include <QMutex>
#include <QTranslator>
#include <memory>

namespace Tollgate {

class IniDocument;
class MessageCatalogue;

// Qt's own texts (standard buttons, file dialogs, context menus) from the current language
// file's section "Qt". An entry is named by Qt's translation context, "/" and the source
// text, with line breaks written as "$vbcrlf$" in names and values. The section is read
// when the translator is made and again after every change of the language choice, since
// Qt asks for its texts far too often to read the file each time; a text that the section
// lacks stays Qt's English.
class QtTextTranslator : public QTranslator
{
public:
    static const QString Section;

    explicit QtTextTranslator(MessageCatalogue& catalogue);
    ~QtTextTranslator() override;

    static QString entryName(const QString& context, const QString& sourceText);

    QString translate(
        const char* context, const char* sourceText, const char* disambiguation, int n) const override;
    bool isEmpty() const override { return false; }

    // Reads the section of the language file chosen now.
    void reload();

private:
    MessageCatalogue& m_catalogue;
    // Qt's file dialog asks for texts from its worker thread too.
    mutable QMutex m_mutex;
    std::shared_ptr<const IniDocument> m_texts;
};

} // namespace Tollgate
