#pragma once

#include "platform/DesktopShell.h"

namespace Tollgate::Platform {

// The freedesktop.org desktop: xdg-open for opening, shared-mime-info and a .desktop entry
// for the document type.
class XdgDesktopShell : public DesktopShell
{
public:
    void open(const QString& pathOrAddress) override;
    void registerFileType(const FileTypeRegistration& registration) override;

    static constexpr QStringView MimeType = u"application/x-tollgate";

    // The text of the MIME package and of the .desktop entry for a program file.
    static QByteArray mimePackage();
    static QByteArray desktopEntry(const QString& programFile, const QString& iconFile);
    // One argument of a desktop entry's Exec key, quoted as the format asks.
    static QString quoteExecArgument(const QString& argument);
};

} // namespace Tollgate::Platform
