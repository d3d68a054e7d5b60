#include "GuardConfig.h"

#include "profile/TextFile.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace Tollgate {

namespace {

    QString withoutComment(const QString& line)
    {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
            return {};
        static const QRegularExpression comment(QStringLiteral("\\s;.*$"));
        return QString(trimmed).remove(comment).trimmed();
    }

} // namespace

GuardConfig GuardConfig::parse(const QString& text)
{
    GuardConfig config;
    QString section;
    int lineNumber = 0;
    for (const QString& raw : text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        ++lineNumber;
        const QString line = withoutComment(raw);
        if (line.isEmpty())
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (section.compare(u"Guard", Qt::CaseInsensitive) != 0 || equals < 0) {
            config.warnings.append(
                QStringLiteral("line %1 is not a Guard setting: %2").arg(lineNumber).arg(line));
            continue;
        }
        if (key.compare(u"Document", Qt::CaseInsensitive) == 0) {
            config.document = value;
        } else if (key.compare(u"Accounts", Qt::CaseInsensitive) == 0) {
            config.addAccounts(value);
        } else if (key.compare(u"Sessions", Qt::CaseInsensitive) == 0) {
            for (const QString& pair : value.split(u';', Qt::SkipEmptyParts)) {
                const QStringList words = pair.simplified().split(u' ');
                if (words.size() == 2 && words[1].startsWith(u':'))
                    config.sessions.append({words[0], words[1]});
                else
                    config.warnings.append(
                        QStringLiteral("a session is \"USER :DISPLAY\", not \"%1\"").arg(pair.trimmed()));
            }
        } else {
            config.warnings.append(QStringLiteral("unknown setting %1").arg(key));
        }
    }
    return config;
}

void GuardConfig::addAccounts(const QString& value)
{
    for (const QString& name :
        value.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        if (name.startsWith(u'@'))
            groups.append(name.mid(1));
        else
            accounts.append(name);
    }
}

GuardConfig::DocumentBytes GuardConfig::readDocument(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {{}, info.exists() ? QStringLiteral("not a file") : QStringLiteral("no such file")};
    TextFile::BytesResult read = TextFile::readBytes(path);
    if (!read.ok)
        return {{}, read.error};
    if (read.bytes.trimmed().isEmpty())
        return {{}, QStringLiteral("empty")};
    return {std::move(read.bytes), {}};
}

} // namespace Tollgate
