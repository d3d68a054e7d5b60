#include "ActionCodes.h"

#include "MessageCatalogue.h"

namespace Tollgate {

namespace {

    qint32 codeOf(const QString& text)
    {
        if (text.size() < 2)
            return 0;
        const char16_t c = text.at(1).unicode();
        return (c >= u'0' && c <= u'9') ? c - u'0' : 0;
    }

} // namespace

QString WindowActionText(const MessageCatalogue& catalogue, qint32 code)
{
    static const char* const keys[]
        = {"ACTION_WINDOW_IGNORE", "ACTION_WINDOW_BLOCK", "ACTION_WINDOW_TO_FRONT"};
    if (code < 0 || code > 2)
        return {};
    return catalogue.MessageText(QLatin1StringView(keys[code]));
}

QString ProcessActionText(const MessageCatalogue& catalogue, qint32 code)
{
    static const char* const keys[] = {
        "ACTION_PROCESS_IGNORE", "ACTION_PROCESS_CLOSE", "ACTION_PROCESS_ALWAYS_RUN", "ACTION_PROCESS_BLOCK"};
    if (code < 0 || code > 3)
        return {};
    return catalogue.MessageText(QLatin1StringView(keys[code]));
}

qint32 WindowActionCode(const QString& text)
{
    return codeOf(text);
}

qint32 ProcessActionCode(const QString& text)
{
    return codeOf(text);
}

} // namespace Tollgate
