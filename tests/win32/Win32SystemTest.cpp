#include "common/TestEnvironment.h"
#include "platform/PlatformFactory.h"
#include "platform/win32/Win32Registry.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <windows.h>

using namespace Tollgate::Platform;

namespace {

// Everything a test writes lies below a key of this process, removed afterwards.
class Win32RegistryTest : public testing::Test
{
protected:
    void TearDown() override
    {
        m_registry.removeKey(Registry::CurrentUser, m_key);
        m_registry.removeKey(Registry::CurrentUser, QStringLiteral("Software\\Classes\\") + m_extension);
    }

    Registry::Value text(const QString& name, const char* utf8, quint32 type = Registry::Sz)
    {
        return {name, type, QByteArray(utf8) + '\0'};
    }

    Win32Registry m_registry;
    const QString m_pid = QString::number(QCoreApplication::applicationPid());
    const QString m_key = QStringLiteral("Software\\Tollgate-test-") + m_pid;
    const QString m_extension = QStringLiteral(".tollgate-test-") + m_pid;
};

} // namespace

TEST_F(Win32RegistryTest, WritesAndReadsBackValues)
{
    const QString key = m_key + QStringLiteral("\\Nested\\Deeper");
    EXPECT_FALSE(m_registry.keyExists(Registry::CurrentUser, key));
    EXPECT_EQ(m_registry.value(Registry::CurrentUser, key, QStringLiteral("Title")), std::nullopt);

    ASSERT_EQ(m_registry.setValue(Registry::CurrentUser, key, text(QStringLiteral("Title"), "Grüße ✓ 😀")), 0);
    EXPECT_TRUE(m_registry.keyExists(Registry::CurrentUser, key));
    // Leading and trailing backslashes do not matter; the hive's root always exists.
    EXPECT_TRUE(m_registry.keyExists(Registry::CurrentUser, u'\\' + m_key + u'\\'));
    EXPECT_TRUE(m_registry.keyExists(Registry::CurrentUser, QString()));

    const auto title = m_registry.value(Registry::CurrentUser, key, QStringLiteral("title"));
    ASSERT_TRUE(title);
    EXPECT_EQ(title->type, quint32(Registry::Sz));
    EXPECT_EQ(title->data, QByteArray("Grüße ✓ 😀") + '\0');
    // Windows keeps it as UTF-16, for other programs to read.
    wchar_t stored[32] = {};
    DWORD size = sizeof stored;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.utf16()), L"Title",
                  RRF_RT_REG_SZ, nullptr, stored, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(QString::fromWCharArray(stored), str("Grüße ✓ 😀"));

    // Other types keep their bytes, inner zeros included; the default value has no name.
    const Registry::Value number {
        QStringLiteral("Number"), Registry::Dword, QByteArray("\x01\x02\x00\x04", 4)};
    const Registry::Value blob {QString(), Registry::Binary, QByteArray("a\0b\0", 4)};
    ASSERT_EQ(m_registry.setValue(Registry::CurrentUser, key, number), 0);
    ASSERT_EQ(m_registry.setValue(Registry::CurrentUser, key, blob), 0);
    EXPECT_EQ(m_registry.value(Registry::CurrentUser, key, QStringLiteral("Number"))->data, number.data);
    EXPECT_EQ(m_registry.value(Registry::CurrentUser, key, QString())->data, blob.data);
    EXPECT_EQ(m_registry.value(Registry::CurrentUser, key, QString())->type, quint32(Registry::Binary));

    // Text without its terminator, and text with bytes after an inner zero.
    ASSERT_EQ(m_registry.setValue(Registry::CurrentUser, key,
                  {QStringLiteral("Path"), Registry::ExpandSz, QByteArray("%TEMP%\\x\0junk", 13)}),
        0);
    EXPECT_EQ(m_registry.value(Registry::CurrentUser, key, QStringLiteral("Path"))->data,
        QByteArray("%TEMP%\\x") + '\0');
}

TEST_F(Win32RegistryTest, ClassesGoToTheUserAndReadThroughTheMergedView)
{
    ASSERT_EQ(m_registry.setValue(Registry::ClassesRoot, m_extension, text(QString(), "Tollgate.test")), 0);
    EXPECT_TRUE(
        m_registry.keyExists(Registry::CurrentUser, QStringLiteral("Software\\Classes\\") + m_extension));
    const auto read = m_registry.value(Registry::ClassesRoot, m_extension, QString());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->data, QByteArray("Tollgate.test") + '\0');
}

TEST_F(Win32RegistryTest, RefusesTheHiveWindowsNoLongerHas)
{
    EXPECT_EQ(
        m_registry.setValue(Registry::DynData, m_key, text(QStringLiteral("x"), "y")), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(m_registry.keyExists(Registry::DynData, QString()));
    EXPECT_EQ(m_registry.value(Registry::DynData, m_key, QStringLiteral("x")), std::nullopt);
}

TEST_F(Win32RegistryTest, TheSystemRegistryServesTheSettingsStore)
{
    const auto registry = PlatformFactory::systemRegistry();
    ASSERT_TRUE(registry);
    Tollgate::SettingsStore store(registry);
    const auto read = [&](const QString& name, const QString& type) {
        return store.ReadSetting(str("HKCU"), m_key, name, type, Tollgate::SettingValue());
    };
    EXPECT_EQ(read(str("Count"), str("D")).status, ERROR_FILE_NOT_FOUND);
    for (const auto& [name, type, value] : {std::tuple(str("Count"), str("D"), Tollgate::SettingValue(-12)),
             std::tuple(str("Name"), str("S"), Tollgate::SettingValue(str("Zoë")))}) {
        ASSERT_EQ(store.WriteSetting(str("HKCU"), m_key, name, type, value), 0);
        EXPECT_EQ(read(name, type).value, value) << name.toStdString();
    }
}

TEST(Win32PlatformFactory, ReadsCommandLinesAsTheProcessTableDoes)
{
    const ProgramConventions conventions = PlatformFactory::programConventions();
    EXPECT_TRUE(conventions.namesEndInExe);
    EXPECT_EQ(conventions.folderSeparator, u'\\');
    EXPECT_EQ(conventions.programOf(str(R"("C:\Program Files\x.exe" -a)")), str(R"(C:\Program Files\x.exe)"));
    EXPECT_EQ(conventions.programOf(str(R"(C:\no such\x.exe -a)")), str(R"(C:\no)"));
    EXPECT_EQ(conventions.programOf(str(R"("C:\unclosed -a)")), std::nullopt);
    EXPECT_EQ(conventions.programOf(QString()), QString());
    EXPECT_TRUE(conventions.programExists(str("tollgate_test_client")));
    EXPECT_FALSE(conventions.programExists(str("tollgate-no-such-program-4711")));
}
