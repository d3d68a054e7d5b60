#pragma once

#include <QString>

namespace Tollgate {

class MessageCatalogue;

enum class WindowAction { Ignore = 0, Block = 1, BringToFront = 2 };
enum class ProcessAction { Ignore = 0, CloseWhenIdle = 1, AlwaysRun = 2, Block = 3 };

// An action text is the code digit in brackets, a blank and a label, as in "(1) Block".
// The code is read back from the second character alone, so a translation that keeps the
// bracketed digit keeps its meaning.
QString WindowActionText(const MessageCatalogue& catalogue, qint32 code);
QString ProcessActionText(const MessageCatalogue& catalogue, qint32 code);
qint32 WindowActionCode(const QString& text);
qint32 ProcessActionCode(const QString& text);

} // namespace Tollgate
