// The settings store over INI files and the registry hive files, and the INI reading and
// writing beneath it.
#include "store/SettingsStore.h"

#include "common/TestEnvironment.h"
#include "lang/ProgramPaths.h"
#include "platform/fake/FakeDesktopShell.h"
#include "profile/IniDocument.h"
#include "store/FileAssociation.h"
#include "store/RegistryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

using namespace Tollgate;

namespace {

const QString S = QStringLiteral("S");

QString hivePath(SettingsStore& store, RegistryStore::Hive hive = RegistryStore::CurrentUser)
{
    return static_cast<RegistryStore&>(store.registry()).userHivePath(hive);
}

QString read(const SettingsStore& store, const char* hive, const QString& key, const char* name)
{
    return settingText(store.ReadSetting(str(hive), key, str(name), S, str("<none>")).value);
}

} // namespace

// Each abbreviation, in any case, is a hive of its own; any other store text is a file.
TEST(SettingsStore, HiveAbbreviationsSelectTheirHive)
{
    const char* const hives[] = {"HKCU", "HKLM", "HKU", "HKCC", "HKDD", "HKCR"};
    for (const char* hive : hives)
        ASSERT_EQ(
            SettingsStore().WriteSetting(str(hive).toLower(), str("Software\\T"), str("Hive"), S, str(hive)),
            0);
    for (const char* hive : hives)
        EXPECT_EQ(read(SettingsStore(), hive, str("Software\\T"), "Hive"), str(hive));
    EXPECT_EQ(SettingsStore::GetHiveKey(str("HKEY_LOCAL_MACHINE")), SettingsStore::IniFileMarker);
    EXPECT_EQ(SettingsStore::GetHiveKey(QString()), SettingsStore::IniFileMarker);
}

// INI files read as text or the default's text form, and writes that read back and see
// changes made behind the cache.
TEST(SettingsStore, IniFilesReadAndWrite)
{
    SettingsStore store;
    const QString path = Sandbox::writeFile(str("doc.ini"), "[Processes]\r\nCount=2\r\nEmpty=\r\n");
    // Entry, type letter, default, and what is read; a missing file reads as empty.
    using Case = std::tuple<QString, const char*, const char*, SettingValue, SettingValue>;
    const Case cases[] = {{path, "IdleTime", "s", 30, str("30")}, {path, "Count", "S", 0, str("2")},
        {path, "Empty", "S", str("d"), QString()},
        {path, "Count", "D", 5, 5}, // other letters leave the default unchanged
        {str("/nonexistent/x.ini"), "Count", "S", 0, str("0")}};
    for (const auto& [file, name, type, defaultValue, expected] : cases) {
        const auto read = store.ReadSetting(file, str("Processes"), str(name), str(type), defaultValue);
        EXPECT_EQ(std::pair(read.status, read.value), std::pair(0, expected)) << name;
    }

    const QString written = Sandbox::folder() + str("/written.ini");
    EXPECT_EQ(store.WriteSetting(written, str("Windows"), str("Count"), S, 3), 0);
    EXPECT_EQ(store.WriteSetting(written, str("Windows"), str("Caption_1"), S, str("\u00e9t\u00e9 *")), 0);
    EXPECT_NE(store.WriteSetting(written, str("Windows"), str("Flag"), str("B"), true), 0);
    EXPECT_EQ(store.ReadSetting(written, str("windows"), str("caption_1"), S, QString()).value,
        SettingValue(str("\u00e9t\u00e9 *")));
    EXPECT_EQ(
        Sandbox::readFile(written), QByteArray("[Windows]\r\nCount=3\r\nCaption_1=\xC3\xA9t\xC3\xA9 *\r\n"));

    // Another program rewrites the file; the next read must see it.
    Sandbox::writeFile(str("written.ini"), "[Windows]\r\nCount=4\r\n");
    EXPECT_EQ(store.ReadSetting(written, str("Windows"), str("Count"), S, 0).value, SettingValue(str("4")));
}

// Each value type as written to the hive file and read back; Boolean and number letters
// in either case.
TEST(SettingsStore, RegistryValueTypes)
{
    SettingsStore store;
    const QString key = str("Software\\Harbrook\\Tollgate\\");
    // Type letter, value, its line in the hive file (nullptr: the write is refused), and
    // the status and value a read with the default 1 gives.
    using Case = std::tuple<const char*, SettingValue, const char*, int, SettingValue>;
    const Case cases[] = {
        {"S", str("abc"), "=\"abc\"", 0, str("abc")}, {"b", true, "=hex:ff,ff", 0, true},
        {"B", false, "=hex:00,00", 0, false}, {"D", 30, "=dword:0000001e", 0, 30},
        {"d", -2, "=dword:fffffffe", 0, -2}, {"D", 40000, nullptr, 2, 1}, // only 16-bit numbers
        {"Q", 1, nullptr, 0, 1}, // no such type: the default
    };
    int n = 0;
    for (const auto& [type, written, inFile, status, read] : cases) {
        const QString name = str("V") + QString::number(++n);
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(store.WriteSetting(str("HKCU"), key, name, str(type), written) == 0, inFile != nullptr);
        EXPECT_EQ(
            Sandbox::readFile(hivePath(store)).contains('"' + name.toUtf8() + '"' + (inFile ? inFile : "=")),
            inFile != nullptr)
            << Sandbox::readFile(hivePath(store)).toStdString();
        const auto got
            = store.ReadSetting(str("hkcu"), key.toLower(), name.toLower(), str(type), SettingValue(1));
        EXPECT_EQ(std::pair(got.status, got.value), std::pair(status, read));
    }

    // A missing key or value gives the default, a whole number staying one.
    for (const char* hive : {"HKLM", "HKCU"}) {
        const auto missing = store.ReadSetting(str(hive), key, str("Other"), S, 7);
        EXPECT_EQ(std::pair(missing.status, missing.value), std::pair(2, SettingValue(7))) << hive;
    }
    // A text is longer than the 2 or 4 bytes a Boolean or a number query takes.
    const auto asBool = store.ReadSetting(str("HKCU"), key, str("V1"), str("B"), false);
    EXPECT_EQ(std::pair(asBool.status, asBool.value), std::pair(234, SettingValue(false)));
    EXPECT_EQ(store.ReadSetting(str("HKCU"), key, str("V4"), S, QString()).value, SettingValue(str("\x1e")))
        << "the registry type is not examined";
}

// Language files are read from their text: unanchored names, CR LF or LF lines, the
// header matched with its letter case, and the default for an empty or missing entry.
TEST(ReadIniText, FindsEntriesOfTheSectionOrGivesTheDefault)
{
    const QString crlf = str("[Form]\r\nlblInfo=Hello\r\nlblEmpty=\r\n");
    const QString last = str("[A]\r\nx=1\r\n[B]\r\nx=2");
    const QString lf = str("[A]\nlblCaption=One\ncmdOK=Two\n[B]\ncmdOK=Three\n");
    using Case = std::tuple<QString, const char*, const char*, SettingValue>;
    const Case cases[] = {{crlf, "Form", "Info", str("Hello")}, {crlf, "Form", "lblEmpty", str("d")},
        {crlf, "form", "lblInfo", str("d")}, {crlf, "Form", "cmdX", str("d")},
        {QString(), "Form", "cmdX", str("d")}, {last, "B", "x", str("2")}, {last, "A", "x", str("1")},
        {lf, "A", "lblCaption", str("One")}, {lf, "A", "cmdOK", str("Two")},
        {lf, "B", "cmdOK", str("Three")}};
    for (const auto& [text, section, name, expected] : cases) {
        EXPECT_EQ(SettingsStore::ReadIniText(text, str(section), str(name), S, str("d")), expected)
            << section << "." << name << " in " << text.toStdString();
    }
    EXPECT_EQ(SettingsStore::ReadIniText(crlf, str("Form"), str("cmdX"), S, 5), SettingValue(5))
        << "a whole-number default stays a whole number";
}

// Hive files as regedit exports them, and a system layer read beneath the user's hives and
// never written.
TEST(RegistryStore, ReadsExportedFilesAndTheSystemLayer)
{
    // As regedit exports: UTF-16 with a byte order mark, continued hex lines, a default value.
    const QString text = str("Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Harbrook\\Tollgate]\r\n@=\"default\"\r\n"
                             "\"Language\"=\"Deutsch \\\"neu\\\".lng\"\r\n\"Bin\"=hex:01,02,\\\r\n  03\r\n"
                             "\"Num\"=dword:0000001e\r\n\"Other\"=hex(2):41,00,00,00\r\n");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    Sandbox::writeFile(str("registry/HKEY_LOCAL_MACHINE.reg"), utf16);
    const QByteArray system
        = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Site]\r\n"
          "\"Language\"=\"Site.lng\"\r\n\"Kiosk\"=dword:00000001\r\n";
    const QString systemPath = Sandbox::writeFile(str("registry/system/HKEY_LOCAL_MACHINE.reg"), system);

    const RegistryStore registry(RegistryStore::locationFromEnvironment());
    const QString key = str("SOFTWARE\\Harbrook\\Tollgate\\");
    ASSERT_TRUE(registry.keyExists(RegistryStore::LocalMachine, key));
    EXPECT_TRUE(registry.keyExists(RegistryStore::LocalMachine, str("Software")))
        << "parents of listed keys exist";
    EXPECT_FALSE(registry.keyExists(RegistryStore::LocalMachine, str("Softwar")));
    const auto data
        = [&](const char* name) { return registry.value(RegistryStore::LocalMachine, key, str(name))->data; };
    EXPECT_EQ(data(""), QByteArray("default", 8));
    EXPECT_EQ(data("language"), QByteArray("Deutsch \"neu\".lng", 18));
    EXPECT_EQ(data("Bin"), QByteArray("\x01\x02\x03"));
    EXPECT_EQ(data("Num"), QByteArray("\x1e\0\0\0", 4));
    EXPECT_EQ(registry.value(RegistryStore::LocalMachine, key, str("Other"))->type, 2u);

    SettingsStore store;
    EXPECT_EQ(read(store, "HKLM", str("Software\\Site"), "Language"), str("Site.lng"));
    ASSERT_EQ(store.WriteSetting(str("HKLM"), str("Software\\Site"), str("Language"), S, str("Mine.lng")), 0);
    EXPECT_EQ(read(store, "HKLM", str("Software\\Site"), "Language"), str("Mine.lng"));
    EXPECT_EQ(store.ReadSetting(str("HKLM"), str("Software\\Site"), str("Kiosk"), str("D"), 0).value,
        SettingValue(1));
    EXPECT_EQ(Sandbox::readFile(systemPath), system);
}

// The document type's values, each key created with its parents, are what a fresh store
// (another process) reads; a moved program replaces them, and values already right are
// not written again. The desktop is told every time and decides for itself.
TEST(RegistryStore, FileAssociationWritesTheClassesRootValues)
{
    SettingsStore store;
    Platform::FakeDesktopShell shell;
    FileAssociation association(store, shell);
    const auto native = [](const char* text) { return QDir::toNativeSeparators(str(text)); };
    const auto classes = [](const char* key) { return read(SettingsStore(), "HKCR", str(key), ""); };
    const QString hive = hivePath(store, RegistryStore::ClassesRoot);
    const ProgramPaths paths(str("/opt/Tollgate Suite/bin"), str("/opt/Tollgate Suite/share"));
    association.RegisterFileType(paths, str("tollgate"));
    EXPECT_EQ(classes(".tollgate"), str("Tollgate.file"));
    EXPECT_EQ(classes("Tollgate.file\\DefaultIcon"),
        native("/opt/Tollgate Suite/share/Icons/IconRed.ICO") + str(",0"));
    // %1 unquoted, as the program takes its whole argument text as one path; the program
    // quoted for its blank, so that no "/opt/Tollgate" could be run instead.
    EXPECT_EQ(classes("tollgate.file\\shell\\open\\command"),
        u'"' + native("/opt/Tollgate Suite/bin/tollgate") + str("\" %1"));
    EXPECT_EQ(shell.registrations(), QStringList {native("/opt/Tollgate Suite/bin/tollgate")});
    const QByteArray file = Sandbox::readFile(hive);
    EXPECT_TRUE(file.startsWith("Windows Registry Editor Version 5.00\r\n\r\n"));
    EXPECT_TRUE(file.contains("[HKEY_CLASSES_ROOT\\.Tollgate]\r\n@=\"Tollgate.file\"\r\n"));
    EXPECT_TRUE(file.contains("[HKEY_CLASSES_ROOT\\Tollgate.file\\Shell]\r\n"));

    // A time long past: a rewrite would bring it to now.
    const QDateTime past = QDateTime::currentDateTimeUtc().addYears(-3);
    {
        QFile touched(hive);
        ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
        ASSERT_TRUE(touched.setFileTime(past, QFileDevice::FileModificationTime));
    }
    association.RegisterFileType(paths, str("tollgate"));
    EXPECT_EQ(QFileInfo(hive).lastModified().toSecsSinceEpoch(), past.toSecsSinceEpoch());
    EXPECT_EQ(shell.registrations().size(), 2);

    association.RegisterFileType(ProgramPaths(str("/usr/bin"), str("/usr/share/tollgate")), str("tollgate"));
    EXPECT_EQ(classes("Tollgate.file\\Shell\\Open\\Command"), native("/usr/bin/tollgate") + str(" %1"));
    EXPECT_EQ(
        classes("Tollgate.file\\DefaultIcon"), native("/usr/share/tollgate/Icons/IconRed.ICO") + str(",0"));
    EXPECT_EQ(Sandbox::readFile(hive).count("IconRed.ICO"), 1) << "a replaced value is one value";
}

TEST(RegistryStore, UnreadableLinesAreKeptAsideBeforeARewrite)
{
    const QByteArray broken = "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\A]\r\n\"Good\"=\"1\"\r\n\"Bad\"=dword:xyz\r\n"
                              "garbage\r\n\x00\x01\x02\r\n";
    const QString path = Sandbox::writeFile(str("registry/HKEY_CURRENT_USER.reg"), broken);
    SettingsStore store;
    EXPECT_EQ(read(store, "HKCU", str("Software\\A"), "Good"), str("1"));
    ASSERT_EQ(store.WriteSetting(str("HKCU"), str("Software\\A"), str("New"), S, str("2")), 0);
    const QDir folder = QFileInfo(path).absoluteDir();
    const QStringList kept = folder.entryList({str("HKEY_CURRENT_USER.reg.unreadable-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(Sandbox::readFile(folder.filePath(kept.first())), broken);
    EXPECT_EQ(read(store, "HKCU", str("Software\\A"), "Good"), str("1"));
}

TEST(RegistryStore, ConcurrentWritersLoseNothing)
{
    constexpr int writes = 40;
    auto writer = [](char prefix) {
        SettingsStore store; // each its own store, as two processes would have
        for (int i = 0; i < writes; ++i)
            store.WriteSetting(
                str("HKCU"), str("Software\\Race"), QLatin1Char(prefix) + QString::number(i), S, i);
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    for (int i = 0; i < writes; ++i) {
        for (const char* prefix : {"a", "b"})
            EXPECT_EQ(read(SettingsStore(), "HKCU", str("Software\\Race"),
                          qPrintable(str(prefix) + QString::number(i))),
                QString::number(i));
    }
}

TEST(IniDocument, ReadsLikeTheProfileService)
{
    // Hand edits as the profile service reads them: text, section, entry, fallback, result.
    // Names ignore case, values are trimmed, the first of two like-named sections counts, LF
    // alone ends a line, and an empty value is not a missing one.
    const char16_t* mixed = u"[General]\nPassword=\nName=x\n; comment\r\n[Windows]\r\n  count =  2  \r\n"
                            u"Caption_1=*Game*\r\n\r\n[windows]\r\ncount=9\r\n";
    const struct
    {
        const char16_t *text, *section, *entry, *fallback, *read;
    } rows[] = {
        {mixed, u"WINDOWS", u"Count", u"", u"2"},
        {mixed, u"Windows", u"caption_1", u"", u"*Game*"},
        {mixed, u"General", u"Name", u"", u"x"},
        {mixed, u"Nowhere", u"Count", u"30", u"30"},
        {mixed, u"General", u"Password", u"30", u""},
        {u"[S]\r\nP=\"secret\"", u"S", u"P", u"", u"secret"},
        {u"[S]\r\nC=  '*game*'  ", u"S", u"C", u"", u"*game*"},
        {u"[S]\r\nC=\"\"x\"\"", u"S", u"C", u"", u"\"x\""},
        {u"[S]\r\n", u"S", u"Missing", u"\"x\"  ", u"x"},
        {u"[S]\rA=1\rB=2\r", u"S", u"B", u"", u"2"},
        {u"[S]\r\nA=1\rB=2\r\n", u"S", u"B", u"", u"2"},
        {u"[S]\r\nx\r\nx=1", u"S", u"x", u"d", u"d"},
        {u"[S]\r\n;x=1", u"S", u";x", u"", u"1"},
        {u"[S]\r\n=x", u"S", u"", u"", u"x"},
        {u"x=1\r\n[S]\r\n[]\r\nx=2", u"", u"x", u"", u"1"},
        {u"[B]]\r\nb=2", u"B]", u"b", u"", u"2"},
        {u"[\u00c4]\r\nx=1", u"\u00e4", u"x", u"d", u"d"},
        {u"[S]\r\nz=\u001a3\u001a", u"S", u"z", u"", u"3"},
        {u"[S]\r\nn=\u00a04", u"S", u"n", u"", u"\u00a04"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IniDocument::parse(QString::fromUtf16(row.text))
                      .readString(QString::fromUtf16(row.section), QString::fromUtf16(row.entry),
                          QString::fromUtf16(row.fallback)),
            QString::fromUtf16(row.read))
            << QString::fromUtf16(row.text).toStdString();
    EXPECT_EQ(
        IniDocument::parse(str("[S]\r\na=ab") + QChar(0) + str("cd")).readString(str("S"), str("a"), {}),
        str("ab"))
        << "a NUL ends the value";

    // Reads are cut to 254 characters, defaults too, and a surrogate pair is never split.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    const IniDocument longValues
        = IniDocument::parse(str("[S]\r\nE=") + QString(300, u'x') + str("\r\nF=") + emoji.repeated(300));
    EXPECT_EQ(longValues.readString(str("S"), str("E"), {}), QString(254, u'x'));
    EXPECT_EQ(longValues.readString(str("S"), str("Missing"), QString(300, u'x')), QString(254, u'x'));
    EXPECT_EQ(longValues.readString(str("S"), str("F"), {}), emoji.repeated(254));
    // A quoted value loses its closing quote only when it fits, and at one beyond, one more.
    for (const auto& [length, read] : {std::pair(252, 252), std::pair(254, 253), std::pair(255, 254)})
        EXPECT_EQ(IniDocument::parse(str("[S]\r\nq=\"") + QString(length, u'x') + u'"')
                      .readString(str("S"), str("q"), {}),
            QString(read, u'x'))
            << length;
    EXPECT_EQ(longValues.readString(str("S"), str("Missing"), QString(253, u'x') + str(" \t y")),
        QString(253, u'x'))
        << "a cut does not end in blanks, which a save and read would trim";
}

// That a written value reads back as one entry, brackets, equal signs and line breaks and
// all, the fuzz target "ini" checks on every input.
TEST(IniDocument, WritesChangeOnlyTheLineConcerned)
{
    IniDocument doc = IniDocument::parse(str("; kept\r\n[A]\r\nx = 1\r\n\r\n; between\r\n[B]\nY=2\n"));
    doc.setValue(str("a"), str("X"), str("10"));
    doc.setValue(str("A"), str("z"), str("3"));
    doc.setValue(str("C"), str("w"), str("4"));
    doc.setValue(str("C"), str("q"), str(" \"x\" "));
    EXPECT_EQ(doc.toText(),
        str("; kept\r\n[A]\r\nx=10\r\nz=3\r\n\r\n; between\r\n[B]\nY=2\n[C]\r\nw=4\r\nq=\"\"x\"\"\r\n"))
        << "a value a read would take as quoted is written in one more pair";
    EXPECT_EQ(IniDocument::parse(doc.toText()).readString(str("C"), str("q"), {}), str("\"x\""));

    IniDocument open = IniDocument::parse(str("[S]\r\na=1"));
    open.setValue(str("S"), str("b"), str("2"));
    open.setValue(str("T"), str("c"), str("3"));
    EXPECT_EQ(open.toText(), str("[S]\r\na=1\r\nb=2\r\n[T]\r\nc=3\r\n"));
}
