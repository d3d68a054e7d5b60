#include "PrivateDesktop.h"

namespace Tollgate::Test {

QProcess* PrivateDesktop::startClient(
    const QString& program, const QStringList& arguments, const QStringList& extraEnvironment)
{
    QProcessEnvironment environment = clientEnvironment();
    for (const QString& assignment : extraEnvironment)
        environment.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
    return m_clients.start(program, arguments, environment);
}

} // namespace Tollgate::Test
