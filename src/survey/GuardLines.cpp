#include "GuardLines.h"

namespace Tollgate {

namespace {

    // Control characters, and format characters such as bidirectional overrides, which
    // would make a log line or a window read otherwise than it is.
    QString printable(QByteArrayView bytes)
    {
        QString text = QString::fromUtf8(bytes);
        text.removeIf([](QChar c) {
            return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
        });
        return text;
    }

} // namespace

QList<GuardLines::Blocked> GuardLines::take(QByteArrayView bytes)
{
    QList<Blocked> found;
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
        if (!m_overlong && m_line.size() + piece.size() > MaxLineBytes) {
            m_overlong = true;
            m_line.clear();
        }
        if (!m_overlong)
            m_line += piece;
        if (end < 0)
            break;
        if (!m_overlong) {
            if (auto blocked = parse(m_line))
                found.append(*blocked);
        }
        m_line.clear();
        m_overlong = false;
        bytes = bytes.sliced(end + 1);
    }
    return found;
}

std::optional<GuardLines::Blocked> GuardLines::parse(QByteArrayView line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    const QList<QByteArray> fields = line.toByteArray().split('\t');
    if (fields.size() != 3 || fields.at(0) != "blocked")
        return std::nullopt;
    Blocked blocked {printable(fields.at(1)), printable(fields.at(2))};
    if (blocked.program.trimmed().isEmpty() || blocked.action.trimmed().isEmpty())
        return std::nullopt;
    return blocked;
}

} // namespace Tollgate
