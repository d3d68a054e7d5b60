#include "ShellWords.h"

#include <QFileInfo>

namespace Tollgate::Platform {

std::optional<QStringList> ShellWords::split(const QString& commandLine)
{
    QStringList words;
    QString word;
    bool inWord = false;
    enum { Plain, Single, Double } quote = Plain;

    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        const QChar c = commandLine.at(i);
        switch (quote) {
        case Single:
            if (c == u'\'')
                quote = Plain;
            else
                word += c;
            break;
        case Double:
            if (c == u'"') {
                quote = Plain;
            } else if (c == u'\\' && i + 1 < commandLine.size()) {
                const QChar next = commandLine.at(i + 1);
                if (next == u'\n') {
                    ++i;
                } else if (next == u'"' || next == u'\\' || next == u'$' || next == u'`') {
                    word += next;
                    ++i;
                } else {
                    word += c;
                }
            } else {
                word += c;
            }
            break;
        case Plain:
            if (c == u' ' || c == u'\t' || c == u'\n') {
                if (inWord)
                    words += std::exchange(word, QString());
                inWord = false;
            } else if (c == u'\'') {
                quote = Single;
                inWord = true;
            } else if (c == u'"') {
                quote = Double;
                inWord = true;
            } else if (c == u'\\') {
                // A backslash before a line end only joins lines.
                if (i + 1 < commandLine.size() && commandLine.at(i + 1) == u'\n') {
                    ++i;
                } else {
                    inWord = true;
                    if (i + 1 < commandLine.size())
                        word += commandLine.at(++i);
                }
            } else {
                word += c;
                inWord = true;
            }
            break;
        }
    }
    if (quote != Plain)
        return std::nullopt;
    if (inWord)
        words += word;
    return words;
}

std::optional<QStringList> ShellWords::commandWords(const QString& commandLine)
{
    const QString whole = commandLine.trimmed();
    const QFileInfo info(whole);
    if (whole.contains(u'/') && info.isFile() && info.isExecutable())
        return QStringList {whole};
    return split(commandLine);
}

} // namespace Tollgate::Platform
