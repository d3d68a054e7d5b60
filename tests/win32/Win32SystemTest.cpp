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

TEST_F(Win32RegistryTest, WritesAndReadsBackValuesAsWindowsKeepsThem)
{
    const QString key = m_key + QStringLiteral("\\Nested\\Deeper");
    EXPECT_FALSE(m_registry.keyExists(Registry::CurrentUser, key));
    EXPECT_EQ(m_registry.value(Registry::CurrentUser, key, str("Title")), std::nullopt);
    // Text gets its terminator and loses what follows an inner zero; other types keep their
    // bytes, inner zeros included; the default value has no name; names ignore case.
    const QByteArray title = QByteArray("Grüße ✓ 😀") + '\0';
    const QByteArray number("\x01\x02\x00\x04", 4);
    for (const auto& [written, read] : {std::pair(text(str("Title"), "Grüße ✓ 😀"), title),
             std::pair(Registry::Value {str("Path"), Registry::ExpandSz, QByteArray("%TEMP%\\x\0junk", 13)},
                 QByteArray("%TEMP%\\x") + '\0'),
             std::pair(Registry::Value {str("Number"), Registry::Dword, number}, number),
             std::pair(Registry::Value {QString(), Registry::Binary, QByteArray("a\0b\0", 4)},
                 QByteArray("a\0b\0", 4))}) {
        ASSERT_EQ(m_registry.setValue(Registry::CurrentUser, key, written), 0);
        const auto value = m_registry.value(Registry::CurrentUser, key, written.name.toLower());
        ASSERT_TRUE(value) << written.name.toStdString();
        EXPECT_EQ(value->type, written.type);
        EXPECT_EQ(value->data, read);
    }
    // Leading and trailing backslashes do not matter; the hive's root always exists.
    EXPECT_TRUE(m_registry.keyExists(Registry::CurrentUser, u'\\' + m_key + u'\\'));
    EXPECT_TRUE(m_registry.keyExists(Registry::CurrentUser, QString()));
    // Windows keeps text as UTF-16, for other programs to read.
    wchar_t stored[32] = {};
    DWORD size = sizeof stored;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.utf16()), L"Title",
                  RRF_RT_REG_SZ, nullptr, stored, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(QString::fromWCharArray(stored), str("Grüße ✓ 😀"));
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
