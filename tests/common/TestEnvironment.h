#pragma once

#include <QString>

class QTemporaryDir;

namespace Tollgate::Sandbox {

// Points HOME, the XDG folders and the registry store below the given new temporary
// folder. Test mains call it first, before anything reads the environment.
void enter(const QTemporaryDir& sandbox);

// Gives every test of the process a private folder of its own below the process's, for
// runs where one process runs many tests (CTest on Windows runs a whole binary at once).
void enterFreshFolderForEachTest();

// The private folder this test process runs in; HOME, the XDG folders and the registry
// store all point below it.
QString folder();

// Writes bytes to a file below the sandbox folder and returns its path.
QString writeFile(const QString& relativePath, const QByteArray& bytes);

QByteArray readFile(const QString& path);

// Whether taking the read right from a file keeps this process out: not for root (outside
// an OrdinaryAccount), and not on Windows, where Qt's permissions are only the read-only flag.
bool permissionsBind();

// While it lives, the calling thread reaches files as an ordinary account would, also when
// the tests run as root (as CI does): the sandbox is handed to nobody and the thread's
// file-system ids become nobody's, which takes away root's right to pass over permissions.
// Without root it changes nothing. Tests of unreadable and unwritable files use it.
class OrdinaryAccount
{
public:
    OrdinaryAccount();
    ~OrdinaryAccount();
    OrdinaryAccount(const OrdinaryAccount&) = delete;
    OrdinaryAccount& operator=(const OrdinaryAccount&) = delete;
    // Why files cannot be reached as an ordinary account here; empty when they can.
    const QString& unavailableReason() const { return m_reason; }

private:
    QString m_reason;
    bool m_switched = false;
};
// Whether a file keeps owner-only permission bits: not on Windows, where the folder's
// access rules decide instead.
bool permissionBitsKept();

} // namespace Tollgate::Sandbox

#include <ostream>

// A text from a UTF-8 literal; the project builds without implicit conversions.
inline QString str(const char* text)
{
    return QString::fromUtf8(text);
}

// Lets test failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
