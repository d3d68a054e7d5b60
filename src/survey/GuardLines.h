#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace Tollgate {

// What the privileged guard tells the session's program on its standard input, one line at
// a time: "blocked<TAB>PROGRAM<TAB>ACTION" when it denied PROGRAM under a Block rule.
// The lines are untrusted: anything else is ignored, a line longer than MaxLineBytes is
// dropped whole, and control characters are taken out of both texts.
class GuardLines
{
public:
    static constexpr qsizetype MaxLineBytes = 4096;

    struct Blocked
    {
        QString program;
        QString action;
    };

    // Takes the bytes as they arrive, in pieces of any size; gives the blocks that the
    // lines completed by them report.
    QList<Blocked> take(QByteArrayView bytes);

    static std::optional<Blocked> parse(QByteArrayView line);

private:
    QByteArray m_line;
    bool m_overlong = false;
};

} // namespace Tollgate
