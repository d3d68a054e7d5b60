#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Before anything reads the environment: a private home for this process alone.
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/tollgate-test-XXXXXX"));
    if (!sandbox.isValid())
        return 1;
    const QString root = sandbox.path();
    const auto set = [&root](const char* name, const char* sub) {
        const QString path = root + QLatin1StringView(sub);
        QDir().mkpath(path);
        qputenv(name, path.toUtf8());
    };
    set("TOLLGATE_TEST_SANDBOX", "");
    set("HOME", "/home");
    set("XDG_CONFIG_HOME", "/home/.config");
    set("XDG_DATA_HOME", "/home/.local/share");
    set("XDG_STATE_HOME", "/home/.local/state");
    set("XDG_CACHE_HOME", "/home/.cache");
    set("XDG_CONFIG_DIRS", "/etc/xdg");
    set("XDG_DATA_DIRS", "/usr/share");
    set("TOLLGATE_REGISTRY_DIR", "/registry");
    set("XDG_RUNTIME_DIR", "/run");
    QFile::setPermissions(
        root + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
