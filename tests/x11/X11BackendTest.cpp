#include "XServer.h"
#include "platform/PlatformFactory.h"
#include "platform/ProcessLookup.h"
#include "platform/x11/X11WindowSystem.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <xcb/xtest.h>

using namespace Tollgate::Platform;
using Tollgate::Test::waitUntil;
using Tollgate::Test::XServer;

namespace {

constexpr quint32 KeysymShiftLeft = 0xffe1;
constexpr quint32 KeysymA = 0x61;
constexpr quint32 KeysymB = 0x62;
constexpr quint32 KeysymQ = 0x71;

// One private X server per test, with or without a window manager, and the backend that
// the factory picks for it.
class X11Session : public testing::Test
{
protected:
    explicit X11Session(bool withWindowManager)
        : m_withWindowManager(withWindowManager)
    { }

    void SetUp() override
    {
        if (const QString reason = XServer::unavailableReason(m_withWindowManager); !reason.isEmpty())
            GTEST_SKIP() << "X11 tests need a private X server: " << qPrintable(reason);
        ASSERT_TRUE(m_server.start(m_withWindowManager)) << "the private X server did not start";
        m_platform = PlatformFactory::create(m_server.display(), QString(), QString());
        ASSERT_TRUE(m_platform->backendName().startsWith(QStringLiteral("x11")))
            << qPrintable(m_platform->backendName());
    }

    WindowSystem& windows() { return m_platform->windows(); }
    InputDevices& input() { return m_platform->input(); }
    xcb_connection_t* testConnection() { return m_server.connection().get(); }

    // The first top-level window of the process that is not an owned pop-up, once it shows.
    WindowId waitForWindowOf(const QProcess* client)
    {
        WindowId found = 0;
        if (!client)
            return 0;
        const auto pid = ProcessId(client->processId());
        waitUntil([&] {
            for (const TopLevelWindow& window : windows().topLevelWindows()) {
                if (!window.ownedPopup && windows().windowProcessId(window.window) == pid) {
                    found = window.window;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    QProcess* startMessage(const QString& title)
    {
        return m_server.startClient(
            QStringLiteral("xmessage"), {QStringLiteral("-title"), title, QStringLiteral("Tollgate test")});
    }

    int indexOf(WindowId window)
    {
        const QList<TopLevelWindow> all = windows().topLevelWindows();
        for (int i = 0; i < all.size(); ++i) {
            if (all[i].window == window)
                return i;
        }
        return -1;
    }

    QList<quint32> netWmState(WindowId window)
    {
        Tollgate::Platform::X11Connection& c = m_server.connection();
        return c.cardinalListProperty(window, c.atom(X11Connection::NetWmState), XCB_ATOM_ATOM);
    }

    // Sends a key through XTest and makes sure its events reached the backend's queue:
    // the test connection's round trip lets the server act on it, and the backend's own
    // round trip (the pointer query) comes back after the events the server sent before.
    void fakeKey(quint8 keycode, bool press)
    {
        xcb_test_fake_input(testConnection(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
            XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        m_server.roundTrip();
        input().cursorPosition();
    }

    bool anyPolledKeyActive()
    {
        bool any = false;
        for (int key = InputDevices::FirstPolledKey; key <= InputDevices::LastPolledKey; ++key)
            any = input().keyActive(key) || any;
        return any;
    }

    void setTitle(WindowId window, const QByteArray& title)
    {
        xcb_change_property(testConnection(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
            XCB_ATOM_STRING, 8, quint32(title.size()), title.constData());
        m_server.roundTrip();
    }

    // A window system of its own on a connection of its own, watching changes: the
    // requests it makes can be counted by their sequence numbers.
    struct WatchingWindows
    {
        explicit WatchingWindows(const QString& display)
            : connection(X11Connection::open(display.toLocal8Bit(), nullptr))
            , windows(connection)
        {
            windows.setChangeHandler([] {});
        }
        // Lets the server's events so far reach this connection: the server may hold them
        // back a moment, where a reply to this connection would come after them.
        void sync()
        {
            xcb_connection_t* c = connection->get();
            XcbReply<xcb_get_input_focus_reply_t>(
                xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        }
        template<typename Body> unsigned requestsMadeBy(Body body)
        {
            xcb_connection_t* c = connection->get();
            const unsigned before = xcb_get_input_focus(c).sequence;
            body();
            const unsigned after = xcb_get_input_focus(c).sequence;
            xcb_discard_reply(c, before);
            xcb_discard_reply(c, after);
            return after - before - 1;
        }
        std::shared_ptr<X11Connection> connection;
        X11WindowSystem windows;
    };

    XServer m_server;
    std::unique_ptr<Platform> m_platform;
    bool m_withWindowManager;
};

class WithWindowManager : public X11Session
{
protected:
    WithWindowManager()
        : X11Session(true)
    { }
};

class WithoutWindowManager : public X11Session
{
protected:
    WithoutWindowManager()
        : X11Session(false)
    { }
};

TEST_F(WithWindowManager, foregroundIsTheActiveClientWindowWithItsTitle)
{
    const WindowId first = waitForWindowOf(startMessage(QStringLiteral("First message")));
    ASSERT_NE(first, 0u);
    ASSERT_TRUE(waitUntil([&] { return windows().foregroundWindow() == first; }));
    EXPECT_EQ(windows().windowTitle(first), QStringLiteral("First message"));

    const WindowId second = waitForWindowOf(startMessage(QStringLiteral("Second message")));
    ASSERT_NE(second, 0u);
    ASSERT_TRUE(waitUntil([&] { return windows().foregroundWindow() == second; }));
    // The client, not the manager's frame: frames carry no names.
    EXPECT_EQ(windows().windowTitle(windows().foregroundWindow()), QStringLiteral("Second message"));
}

TEST_F(WithWindowManager, aWatchedForegroundAndTitleAreAnsweredFromEventsUntilTheyChange)
{
    WatchingWindows watching(m_server.display());
    X11WindowSystem& windows = watching.windows;
    const WindowId first = waitForWindowOf(startMessage(QStringLiteral("Known title")));
    ASSERT_NE(first, 0u);
    ASSERT_TRUE(waitUntil([&] { return windows.foregroundWindow() == first; }));
    // The manager's last changes for the new window reach the backend.
    watching.sync();
    EXPECT_EQ(windows.foregroundWindow(), first);
    EXPECT_EQ(windows.windowTitle(first), QStringLiteral("Known title"));
    EXPECT_EQ(watching.requestsMadeBy([&] {
        EXPECT_EQ(windows.foregroundWindow(), first);
        EXPECT_EQ(windows.windowTitle(first), QStringLiteral("Known title"));
    }),
        0u);

    // Each change is seen by the next question, without waiting for the event loop.
    setTitle(first, "Changed title");
    watching.sync();
    EXPECT_EQ(windows.windowTitle(windows.foregroundWindow()), QStringLiteral("Changed title"));

    const WindowId second = waitForWindowOf(startMessage(QStringLiteral("Second window")));
    ASSERT_NE(second, 0u);
    X11Connection& test = m_server.connection();
    ASSERT_TRUE(waitUntil([&] {
        return test.cardinalProperty(test.root(), test.atom(X11Connection::NetActiveWindow), XCB_ATOM_WINDOW)
            == second;
    }));
    watching.sync();
    EXPECT_EQ(windows.foregroundWindow(), second);
    EXPECT_EQ(windows.windowTitle(second), QStringLiteral("Second window"));
    // A window that is not the foreground one is always asked for.
    setTitle(first, "Background title");
    EXPECT_EQ(windows.windowTitle(first), QStringLiteral("Background title"));
}

TEST_F(WithWindowManager, titlesBeyondLatin1AreDecodedFromCompoundText)
{
    const QString greek = QStringLiteral("Γειά σου κόσμε");
    const QString japanese = QStringLiteral("日本語のタイトル");
    const QStringList utf8Locale = {QStringLiteral("LC_ALL=C.UTF-8")};
    QProcess* greekTerm = m_server.startClient(QStringLiteral("xterm"),
        {QStringLiteral("-T"), greek, QStringLiteral("-e"), QStringLiteral("sleep"), QStringLiteral("600")},
        utf8Locale);
    QProcess* japaneseTerm = m_server.startClient(QStringLiteral("xterm"),
        {QStringLiteral("-T"), japanese, QStringLiteral("-e"), QStringLiteral("sleep"),
            QStringLiteral("600")},
        utf8Locale);
    const WindowId greekWindow = waitForWindowOf(greekTerm);
    const WindowId japaneseWindow = waitForWindowOf(japaneseTerm);
    ASSERT_NE(greekWindow, 0u);
    ASSERT_NE(japaneseWindow, 0u);

    // Only meaningful while xterm really uses COMPOUND_TEXT for these.
    X11Connection& c = m_server.connection();
    const auto name = c.property(greekWindow, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->type, c.atom(X11Connection::CompoundText));

    EXPECT_TRUE(waitUntil([&] { return windows().windowTitle(greekWindow) == greek; }))
        << qPrintable(windows().windowTitle(greekWindow));
    EXPECT_EQ(windows().windowTitle(japaneseWindow), japanese);
}

TEST_F(WithWindowManager, longTitlesAreCutTo254Characters)
{
    const QString title = QString(300, u'x');
    const WindowId window = waitForWindowOf(startMessage(title));
    ASSERT_NE(window, 0u);
    EXPECT_EQ(windows().windowTitle(window), QString(254, u'x'));
}

TEST_F(WithWindowManager, closeRequestClosesTheClient)
{
    QProcess* xmessage = startMessage(QStringLiteral("Close me"));
    const WindowId window = waitForWindowOf(xmessage);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(windows().postCloseRequest(window));
    EXPECT_TRUE(xmessage->waitForFinished(30000));
    EXPECT_FALSE(windows().postCloseRequest(window)) << "a window that is gone takes no requests";
}

TEST_F(WithWindowManager, topMostStaysAfterAnotherWindowIsActivated)
{
    const WindowId eyes = waitForWindowOf(m_server.startClient(QStringLiteral("xeyes"), {}));
    ASSERT_NE(eyes, 0u);
    const xcb_atom_t above = m_server.connection().atom(X11Connection::NetWmStateAbove);

    EXPECT_NE(windows().setTopMost(eyes, true), 0);
    ASSERT_TRUE(waitUntil([&] { return netWmState(eyes).contains(above); }));

    const WindowId message = waitForWindowOf(startMessage(QStringLiteral("Newer window")));
    ASSERT_NE(message, 0u);
    ASSERT_TRUE(waitUntil([&] { return windows().foregroundWindow() == message; }));
    EXPECT_TRUE(netWmState(eyes).contains(above));
    EXPECT_TRUE(waitUntil([&] { return indexOf(eyes) >= 0 && indexOf(eyes) < indexOf(message); }))
        << "the topmost window is listed before the active one";
}

TEST_F(WithWindowManager, topMostOfAHandleThatIsNoWindowIsZero)
{
    QProcess* xmessage = startMessage(QStringLiteral("Short-lived"));
    const WindowId window = waitForWindowOf(xmessage);
    ASSERT_NE(window, 0u);
    xmessage->kill();
    xmessage->waitForFinished(30000);
    ASSERT_TRUE(waitUntil([&] { return !m_server.connection().isWindow(window); }));
    EXPECT_EQ(windows().setTopMost(window, true), 0);
    EXPECT_EQ(windows().setTopMost(0, true), 0);
    EXPECT_EQ(windows().windowProcessId(window), 0u) << "a destroyed window has no process";
}

TEST_F(WithWindowManager, zOrderIsTopmostFirstAndMarksOwnedPopups)
{
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_x11_qt_window");
    QProcess* qtClient = m_server.startClient(helper, {}, {QStringLiteral("QT_QPA_PLATFORM=xcb")});
    ASSERT_NE(qtClient, nullptr);
    const auto pid = ProcessId(qtClient->processId());

    WindowId main = 0;
    WindowId dialog = 0;
    ASSERT_TRUE(waitUntil([&] {
        for (const TopLevelWindow& window : windows().topLevelWindows()) {
            if (windows().windowTitle(window.window) == QStringLiteral("Tollgate helper main"))
                main = window.window;
            if (windows().windowTitle(window.window) == QStringLiteral("Tollgate helper dialog")
                && window.ownedPopup)
                dialog = window.window;
        }
        return main && dialog;
    })) << "the Qt main window and its dialog (as an owned pop-up) are listed";
    EXPECT_EQ(windows().windowProcessId(main), pid);
    EXPECT_EQ(windows().windowProcessId(dialog), pid);

    // The dialog may be in front, but the process's window is the main one.
    ProcessTable& processes = m_platform->processes();
    EXPECT_EQ(ProcessLookup(windows(), processes).FindProcessWindow(pid), main);

    const WindowId message = waitForWindowOf(startMessage(QStringLiteral("On top")));
    ASSERT_NE(message, 0u);
    EXPECT_TRUE(waitUntil([&] { return indexOf(message) == 0; })) << "the newest window is listed first";

    // Our own kind of window goes into the band as well.
    EXPECT_NE(windows().setTopMost(main, true), 0);
    EXPECT_TRUE(waitUntil([&] { return indexOf(main) >= 0 && indexOf(main) < indexOf(message); }));
}

TEST_F(WithWindowManager, processIdOfAClientThatSetsNoNetWmPid)
{
    QProcess* xmessage = startMessage(QStringLiteral("Whose window"));
    const WindowId window = waitForWindowOf(xmessage);
    ASSERT_NE(window, 0u);
    X11Connection& c = m_server.connection();
    EXPECT_EQ(c.cardinalProperty(window, c.atom(X11Connection::NetWmPid), XCB_ATOM_CARDINAL), 0u);
    EXPECT_EQ(windows().windowProcessId(window), ProcessId(xmessage->processId()));
}

TEST_F(WithoutWindowManager, foregroundFollowsTheInputFocus)
{
    const WindowId first = waitForWindowOf(startMessage(QStringLiteral("Focus one")));
    const WindowId second = waitForWindowOf(startMessage(QStringLiteral("Focus two")));
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);

    for (const WindowId window : {first, second}) {
        xcb_set_input_focus(testConnection(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        m_server.roundTrip();
        EXPECT_EQ(windows().foregroundWindow(), window);
    }
    EXPECT_EQ(windows().windowTitle(second), QStringLiteral("Focus two"));

    xcb_set_input_focus(testConnection(), XCB_INPUT_FOCUS_NONE, XCB_INPUT_FOCUS_NONE, XCB_CURRENT_TIME);
    m_server.roundTrip();
    EXPECT_EQ(windows().foregroundWindow(), 0u);
}

TEST_F(WithoutWindowManager, aWatchedForegroundFollowsTheInputFocusWithoutAsking)
{
    WatchingWindows watching(m_server.display());
    const WindowId first = waitForWindowOf(startMessage(QStringLiteral("Focus one")));
    const WindowId second = waitForWindowOf(startMessage(QStringLiteral("Focus two")));
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    for (const WindowId window : {first, second, first}) {
        xcb_set_input_focus(testConnection(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        m_server.roundTrip();
        watching.sync();
        EXPECT_EQ(watching.windows.foregroundWindow(), window);
        EXPECT_EQ(watching.requestsMadeBy([&] { watching.windows.foregroundWindow(); }), 0u);
    }
    xcb_set_input_focus(testConnection(), XCB_INPUT_FOCUS_NONE, XCB_INPUT_FOCUS_NONE, XCB_CURRENT_TIME);
    m_server.roundTrip();
    watching.sync();
    EXPECT_EQ(watching.windows.foregroundWindow(), 0u);
}

TEST_F(WithoutWindowManager, closeRequestGoesToClientsThatAcceptIt)
{
    QProcess* xmessage = startMessage(QStringLiteral("Close me too"));
    const WindowId window = waitForWindowOf(xmessage);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(windows().postCloseRequest(window));
    EXPECT_TRUE(xmessage->waitForFinished(30000));
}

TEST_F(WithoutWindowManager, zOrderComesFromTheRootWindowAndRaisingReordersIt)
{
    QProcess* firstClient = startMessage(QStringLiteral("Lower"));
    const WindowId first = waitForWindowOf(firstClient);
    const WindowId second = waitForWindowOf(startMessage(QStringLiteral("Upper")));
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_LT(indexOf(second), indexOf(first));
    EXPECT_EQ(windows().windowProcessId(first), ProcessId(firstClient->processId()));

    EXPECT_NE(windows().setTopMost(first, true), 0);
    EXPECT_TRUE(waitUntil([&] { return indexOf(first) < indexOf(second); }));
}

TEST_F(WithoutWindowManager, aKeyPressCountsOnceAndAHeldKeyUntilReleased)
{
    const quint8 a = m_server.keycodeOf(KeysymA);
    ASSERT_NE(a, 0);
    ASSERT_FALSE(anyPolledKeyActive());

    fakeKey(a, true);
    fakeKey(a, false);
    EXPECT_TRUE(input().keyActive(0x41)) << "pressed since the previous query";
    EXPECT_FALSE(input().keyActive(0x41)) << "and only until that query";

    fakeKey(a, true);
    EXPECT_TRUE(input().keyActive(0x41));
    EXPECT_TRUE(input().keyActive(0x41)) << "still down";
    fakeKey(a, false);
    EXPECT_FALSE(input().keyActive(0x41));
}

TEST_F(WithoutWindowManager, shiftAloneIsNoActivity)
{
    const quint8 shift = m_server.keycodeOf(KeysymShiftLeft);
    ASSERT_NE(shift, 0);
    anyPolledKeyActive();
    fakeKey(shift, true);
    EXPECT_FALSE(anyPolledKeyActive());
    fakeKey(shift, false);
    EXPECT_FALSE(anyPolledKeyActive());
}

TEST_F(WithoutWindowManager, keysCountWhileAnotherClientGrabsTheKeyboard)
{
    const quint8 b = m_server.keycodeOf(KeysymB);
    ASSERT_NE(b, 0);
    const XcbReply<xcb_grab_keyboard_reply_t> grab(xcb_grab_keyboard_reply(testConnection(),
        xcb_grab_keyboard(testConnection(), 0, m_server.connection().root(), XCB_CURRENT_TIME,
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    ASSERT_TRUE(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);
    fakeKey(b, true);
    fakeKey(b, false);
    EXPECT_TRUE(input().keyActive(0x42));
}

TEST_F(WithoutWindowManager, aChangedKeyboardMappingIsFollowed)
{
    // A keycode that the keymap leaves empty, given a letter.
    const xcb_setup_t* setup = xcb_get_setup(testConnection());
    const XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(testConnection(),
        xcb_get_keyboard_mapping(
            testConnection(), setup->min_keycode, quint8(setup->max_keycode - setup->min_keycode + 1)),
        nullptr));
    ASSERT_TRUE(mapping);
    const int perKeycode = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    quint8 unused = 0;
    for (int keycode = setup->max_keycode; keycode >= setup->min_keycode && !unused; --keycode) {
        const xcb_keysym_t* row = syms + (keycode - setup->min_keycode) * perKeycode;
        if (std::all_of(row, row + perKeycode, [](xcb_keysym_t s) { return s == 0; }))
            unused = quint8(keycode);
    }
    if (!unused)
        GTEST_SKIP() << "the server's keymap has no free keycode";

    fakeKey(unused, true);
    fakeKey(unused, false);
    EXPECT_FALSE(anyPolledKeyActive()) << "a key that the keymap lacks never counts";

    std::vector<xcb_keysym_t> row(size_t(perKeycode), 0);
    row[0] = KeysymQ;
    xcb_change_keyboard_mapping(testConnection(), 1, unused, quint8(perKeycode), row.data());
    m_server.roundTrip();
    fakeKey(unused, true);
    fakeKey(unused, false);
    EXPECT_TRUE(input().keyActive(0x51));
}

TEST_F(WithoutWindowManager, cursorWarpsAndTheScreenHasItsSize)
{
    EXPECT_TRUE(input().setCursorPosition(QPoint(123, 456)));
    EXPECT_EQ(input().cursorPosition(), QPoint(123, 456));
    EXPECT_TRUE(input().setCursorPosition(QPoint(1014, 758)));
    EXPECT_EQ(input().cursorPosition(), QPoint(1014, 758));
    EXPECT_EQ(input().primaryScreenSize(), QSize(1024, 768));
}

TEST_F(WithoutWindowManager, capabilitiesSayTopMostNeedsAWindowManager)
{
    bool topMostListed = false;
    for (const CapabilityStatus& status : m_platform->capabilities()) {
        if (status.capability == Capability::TopMost) {
            topMostListed = true;
            EXPECT_FALSE(status.works);
        } else {
            EXPECT_TRUE(status.works) << qPrintable(capabilityName(status.capability));
        }
    }
    EXPECT_TRUE(topMostListed);
}

} // namespace
