// For the tests only: leaves the overview that a headless shell starts in (windows opened
// there get no focus, as no person has opened an application yet) and moves a virtual
// pointer and keyboard, standing in for the user's hands.
const TestBusInterface = `<node>
  <interface name="org.tollgate.GnomeShellTest">
    <method name="HideOverview"/>
    <method name="Activate">
      <arg type="s" direction="in" name="title"/><arg type="b" direction="out" name="found"/>
    </method>
    <method name="MovePointer">
      <arg type="d" direction="in" name="x"/><arg type="d" direction="in" name="y"/>
    </method>
    <method name="TypeLine"><arg type="s" direction="in" name="text"/></method>
  </interface>
</node>`;

class TollgateTestHelper {
    enable() {
        const seat = Clutter.get_default_backend().get_default_seat();
        this._pointer = seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
        this._keyboard = seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        this._dbus = Gio.DBusExportedObject.wrapJSObject(TestBusInterface, this);
        this._dbus.export(Gio.DBus.session, '/org/tollgate/GnomeShellTest');
        this._startup = Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
        Main.overview.hide();
    }

    disable() {
        Main.layoutManager.disconnect(this._startup);
        this._dbus.unexport();
        this._dbus = null;
        this._pointer = null;
        this._keyboard = null;
    }

    HideOverview() {
        Main.overview.hide();
    }

    // As a click on the window would.
    Activate(title) {
        const window = global.display.list_all_windows().find(candidate => candidate.get_title() === title);
        if (!window)
            return false;
        // A window not shown yet would not keep the focus.
        const activate = () => Main.activateWindow(window, global.display.get_current_time_roundtrip());
        const actor = window.get_compositor_private();
        if (actor && actor.visible)
            activate();
        else
            window.connect('shown', activate);
        return true;
    }

    // Answers a few frames later: motions that come within one frame are merged, and a
    // pointer that jumps from corner to corner never enters anything on its way.
    MovePointerAsync([x, y], invocation) {
        this._pointer.notify_absolute_motion(GLib.get_monotonic_time(), x, y);
        GLib.timeout_add(GLib.PRIORITY_DEFAULT, 50, () => {
            invocation.return_value(null);
            return GLib.SOURCE_REMOVE;
        });
    }

    // Letters and digits, then Enter.
    TypeLine(text) {
        const keys = [...text].map(letter => Clutter.unicode_to_keysym(letter.codePointAt(0)));
        for (const key of keys.concat([Clutter.KEY_Return])) {
            this._keyboard.notify_keyval(GLib.get_monotonic_time(), key, Clutter.KeyState.PRESSED);
            this._keyboard.notify_keyval(GLib.get_monotonic_time(), key, Clutter.KeyState.RELEASED);
        }
    }
}
