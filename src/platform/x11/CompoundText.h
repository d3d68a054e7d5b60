#pragma once

#include <QByteArrayView>
#include <QString>

namespace Tollgate::Platform {

// Decodes X11 COMPOUND_TEXT, the ISO 2022 text that clients such as xterm put into
// WM_NAME when a title does not fit Latin-1: escape sequences switch the left (GL) and
// right (GR) halves between ASCII, the ISO 8859 sets and the CJK double-byte sets, and
// extended segments carry UTF-8 or a named encoding.
class CompoundText
{
public:
    static QString decode(QByteArrayView bytes);
};

} // namespace Tollgate::Platform
