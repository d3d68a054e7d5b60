// The X11 backend on a private Xvfb, with and without a window manager: the desktop contract,
// then what only X11 has (the events that spare round trips, compound text, owned pop-ups,
// clients without _NET_WM_PID, and the keyboard).
#include "X11Desktop.h"
#include "platform/ProcessLookup.h"
#include "platform/x11/X11WindowSystem.h"

#include <xcb/xtest.h>

using namespace Tollgate::Platform;
using namespace Tollgate::Test;

namespace Tollgate::Test {
using X11Desktops = testing::Types<X11Desktop<true>, X11Desktop<false>>;
INSTANTIATE_TYPED_TEST_SUITE_P(X11, DesktopContract, X11Desktops);
} // namespace Tollgate::Test

namespace {

constexpr quint32 KeysymShiftLeft = 0xffe1;
constexpr quint32 KeysymA = 0x61;
constexpr quint32 KeysymB = 0x62;
constexpr quint32 KeysymQ = 0x71;

// The process's private X server of the contract, with its own connection for checks and input.
template<bool WindowManager> class X11Session : public DesktopContract<X11Desktop<WindowManager>>
{
protected:
    using Contract = DesktopContract<X11Desktop<WindowManager>>;
    using Contract::m_platform;
    using Contract::windows;

    XServer& server() { return *Contract::s_desktop; }
    InputDevices& input() { return m_platform->input(); }
    xcb_connection_t* testConnection() { return server().connection().get(); }

    QProcess* startMessage(const QString& title)
    {
        return server().startClient(
            QStringLiteral("xmessage"), {QStringLiteral("-title"), title, QStringLiteral("Tollgate test")});
    }
    WindowId showMessage(const QString& title) { return Contract::showWindow(startMessage(title), title); }

    // Sends a key through XTest and makes sure its events reached the backend's queue:
    // the test connection's round trip lets the server act on it, and the backend's own
    // round trip (the pointer query) comes back after the events the server sent before.
    void fakeKey(quint8 keycode, bool press)
    {
        xcb_test_fake_input(testConnection(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
            XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        server().roundTrip();
        input().cursorPosition();
    }
    void tapKey(quint8 keycode)
    {
        fakeKey(keycode, true);
        fakeKey(keycode, false);
    }

    bool anyPolledKeyActive()
    {
        bool any = false;
        for (int key = InputDevices::FirstPolledKey; key <= InputDevices::LastPolledKey; ++key)
            any = input().keyActive(key) || any;
        return any;
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
        // Lets the server's events so far reach this connection.
        void sync() { XServer::roundTrip(*connection); }
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
};

using WithWindowManager = X11Session<true>;
using WithoutWindowManager = X11Session<false>;

TEST_F(WithWindowManager, aWatchedForegroundAndTitleAreAnsweredFromEventsUntilTheyChange)
{
    WatchingWindows watching(server().display());
    X11WindowSystem& windows = watching.windows;
    const WindowId first = showMessage(QStringLiteral("Known title"));
    ASSERT_NE(first, 0u);
    ASSERT_TRUE(waitUntil([&] { return windows.foregroundWindow() == first; }));
    // The manager's last changes for the new window reach the backend, which asks once.
    watching.sync();
    EXPECT_EQ(windows.foregroundWindow(), first);
    EXPECT_EQ(windows.windowTitle(first), QStringLiteral("Known title"));
    EXPECT_EQ(watching.requestsMadeBy([&] {
        EXPECT_EQ(windows.foregroundWindow(), first);
        EXPECT_EQ(windows.windowTitle(first), QStringLiteral("Known title"));
    }),
        0u);

    // Each change is seen by the next question, without waiting for the event loop.
    const auto setTitle = [&](WindowId window, const QByteArray& title) {
        xcb_change_property(testConnection(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
            XCB_ATOM_STRING, 8, quint32(title.size()), title.constData());
        server().roundTrip();
        watching.sync();
    };
    setTitle(first, "Changed title");
    EXPECT_EQ(windows.windowTitle(windows.foregroundWindow()), QStringLiteral("Changed title"));

    const WindowId second = showMessage(QStringLiteral("Second window"));
    ASSERT_NE(second, 0u) << "the manager did not make it the active window";
    watching.sync();
    EXPECT_EQ(windows.foregroundWindow(), second);
    EXPECT_EQ(windows.windowTitle(second), QStringLiteral("Second window"));
    // A window that is not the foreground one is always asked for.
    setTitle(first, "Background title");
    EXPECT_EQ(windows.windowTitle(first), QStringLiteral("Background title"));
}

// Decoding itself is TextDecodingTest's: here, that the backend takes the title in it.
TEST_F(WithWindowManager, titlesBeyondLatin1AreDecodedFromCompoundText)
{
    const QString title = QStringLiteral("日本語のタイトル");
    QProcess* xterm = server().startClient(QStringLiteral("xterm"),
        {QStringLiteral("-T"), title, QStringLiteral("-e"), QStringLiteral("sleep"), QStringLiteral("600")},
        {QStringLiteral("LC_ALL=C.UTF-8")});
    const WindowId window = this->showWindow(xterm, title);
    ASSERT_NE(window, 0u) << "no window in front with the decoded title";
    // Only meaningful while xterm really uses COMPOUND_TEXT for it.
    X11Connection& c = server().connection();
    const auto name = c.property(window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->type, c.atom(X11Connection::CompoundText));
}

TEST_F(WithWindowManager, aClientWithoutNetWmPidOrWithAnOwnedDialogHasItsProcessAndLongTitlesAreCut)
{
    QProcess* xmessage = startMessage(QString(300, u'x'));
    const WindowId window = this->showWindow(xmessage, QString(254, u'x'));
    ASSERT_NE(window, 0u) << "no window in front titled with the first 254 characters";
    X11Connection& c = server().connection();
    EXPECT_EQ(c.cardinalProperty(window, c.atom(X11Connection::NetWmPid), XCB_ATOM_CARDINAL), 0u);
    EXPECT_EQ(windows().windowProcessId(window), ProcessId(xmessage->processId()));

    QProcess* client = server().startClient(
        QCoreApplication::applicationDirPath() + QStringLiteral("/tollgate_test_window"),
        {QStringLiteral("Tollgate helper main"), QStringLiteral("Tollgate helper dialog")});
    ASSERT_NE(client, nullptr);
    const auto pid = ProcessId(client->processId());
    WindowId main = 0;
    WindowId dialog = 0;
    ASSERT_TRUE(waitUntil([&] {
        for (const TopLevelWindow& listed : windows().topLevelWindows()) {
            const QString title = windows().windowTitle(listed.window);
            if (title == QStringLiteral("Tollgate helper main") && !listed.ownedPopup)
                main = listed.window;
            if (title == QStringLiteral("Tollgate helper dialog") && listed.ownedPopup)
                dialog = listed.window;
        }
        return main && dialog;
    })) << "the main window and its dialog (as an owned pop-up) are listed";
    EXPECT_EQ(windows().windowProcessId(dialog), pid);
    // The dialog may be in front, but the process's window is the main one.
    EXPECT_EQ(ProcessLookup(windows(), m_platform->processes()).FindProcessWindow(pid), main);
}

TEST_F(WithoutWindowManager, theForegroundIsTheFocusAskedOrWatchedAndRaisingReorders)
{
    WatchingWindows watching(server().display());
    const WindowId first = showMessage(QStringLiteral("Focus one"));
    const WindowId second = showMessage(QStringLiteral("Focus two"));
    ASSERT_TRUE(first && second);
    for (const WindowId window : {first, second, first, WindowId(XCB_INPUT_FOCUS_NONE)}) {
        this->activate(window); // without a manager: the input focus, set by the test connection
        watching.sync();
        EXPECT_EQ(windows().foregroundWindow(), window);
        EXPECT_EQ(watching.windows.foregroundWindow(), window);
        EXPECT_EQ(watching.requestsMadeBy([&] { watching.windows.foregroundWindow(); }), 0u);
    }

    // Without a manager there is no band, but setTopMost raises.
    const auto index = [&](WindowId window) { return windows().topLevelWindows().indexOf({window, false}); };
    ASSERT_LT(index(second), index(first));
    EXPECT_NE(windows().setTopMost(first, true), 0);
    EXPECT_TRUE(waitUntil([&] { return index(first) < index(second); }));
}

TEST_F(WithoutWindowManager, aKeyCountsOncePressedAndWhileHeldEvenUnderAGrabOrRemappedButShiftAloneNever)
{
    const quint8 a = server().keycodeOf(KeysymA);
    const quint8 b = server().keycodeOf(KeysymB);
    const quint8 shift = server().keycodeOf(KeysymShiftLeft);
    ASSERT_TRUE(a && b && shift);
    ASSERT_FALSE(anyPolledKeyActive());

    tapKey(a);
    EXPECT_TRUE(input().keyActive(0x41)) << "pressed since the previous query";
    EXPECT_FALSE(input().keyActive(0x41)) << "and only until that query";
    fakeKey(a, true);
    EXPECT_TRUE(input().keyActive(0x41));
    EXPECT_TRUE(input().keyActive(0x41)) << "still down";
    fakeKey(a, false);
    EXPECT_FALSE(input().keyActive(0x41));

    fakeKey(shift, true);
    EXPECT_FALSE(anyPolledKeyActive());
    fakeKey(shift, false);
    EXPECT_FALSE(anyPolledKeyActive());

    const XcbReply<xcb_grab_keyboard_reply_t> grab(xcb_grab_keyboard_reply(testConnection(),
        xcb_grab_keyboard(testConnection(), 0, server().connection().root(), XCB_CURRENT_TIME,
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    ASSERT_TRUE(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);
    tapKey(b);
    EXPECT_TRUE(input().keyActive(0x42)) << "a key pressed while another client grabs the keyboard";
    xcb_ungrab_keyboard(testConnection(), XCB_CURRENT_TIME);

    const quint8 unused = server().keycodeOf(0);
    ASSERT_NE(unused, 0) << "Xvfb's keymap leaves keycodes free";
    tapKey(unused);
    EXPECT_FALSE(anyPolledKeyActive()) << "a key that the keymap lacks never counts";
    const xcb_keysym_t q = KeysymQ;
    xcb_change_keyboard_mapping(testConnection(), 1, unused, 1, &q);
    server().roundTrip();
    tapKey(unused);
    EXPECT_TRUE(input().keyActive(0x51));

    for (const QPoint position : {QPoint(123, 456), QPoint(1014, 758)}) {
        EXPECT_TRUE(input().setCursorPosition(position));
        EXPECT_EQ(input().cursorPosition(), position);
    }
    EXPECT_EQ(input().primaryScreenSize(), QSize(1024, 768));
}

} // namespace
