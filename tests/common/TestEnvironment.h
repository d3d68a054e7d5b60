#pragma once

#include <QString>

namespace Tollgate::Test {

// The private folder this test process runs in; HOME, the XDG folders and the registry
// store all point below it.
QString sandboxFolder();

// Writes bytes to a file below the sandbox folder and returns its path.
QString writeFile(const QString& relativePath, const QByteArray& bytes);

QByteArray readFile(const QString& path);

} // namespace Tollgate::Test
