// Tollgate's eyes inside GNOME Shell, which offers other programs no list of windows. One
// object on the shell's own session-bus connection lists the normal windows and dialogs,
// closes one, keeps it above or activates it as the person at the screen could, and says
// when the list may have changed or the pointer reached the bottom-right corner of the
// primary monitor. Nothing else: no code runs on request, and signals carry no titles.
// The head of extension.js, written for the shell's extension style, defines Clutter, Gio,
// GLib, Meta, St and Main before this and makes this class the extension.

const TollgateBusPath = '/org/tollgate/GnomeShell';
const TollgateBusInterface = `<node>
  <interface name="org.tollgate.GnomeShell">
    <method name="ListWindows"><arg type="s" direction="out" name="windows"/></method>
    <method name="CloseWindow">
      <arg type="s" direction="in" name="id"/><arg type="b" direction="out" name="sent"/>
    </method>
    <method name="SetKeepAbove">
      <arg type="s" direction="in" name="id"/><arg type="b" direction="in" name="above"/>
      <arg type="b" direction="out" name="done"/>
    </method>
    <method name="Activate">
      <arg type="s" direction="in" name="id"/><arg type="b" direction="out" name="done"/>
    </method>
    <method name="PrimaryMonitor">
      <arg type="i" direction="out" name="width"/><arg type="i" direction="out" name="height"/>
    </method>
    <signal name="WindowsChanged"/>
    <signal name="CornerEntered">
      <arg type="i" name="width"/><arg type="i" name="height"/>
    </signal>
  </interface>
</node>`;
// Wide enough to catch a pointer pushed into the corner, small enough to stay out of the way.
const TollgateCornerSize = 2;

class TollgateReporter {
    enable() {
        this._windowSignals = new Map();
        this._displaySignals = [];
        this._pendingReport = 0;
        for (const signal of ['window-created', 'notify::focus-window', 'restacked']) {
            this._displaySignals.push(global.display.connect(signal, (display, window) => {
                if (signal === 'window-created')
                    this._watch(window);
                this._changed();
            }));
        }
        for (const actor of global.get_window_actors())
            this._watch(actor.get_meta_window());

        this._corner = new St.Widget({reactive: true, opacity: 0, name: 'tollgate-corner'});
        this._corner.connect('enter-event', () => {
            const monitor = Main.layoutManager.primaryMonitor;
            if (this._dbus && monitor)
                this._dbus.emit_signal('CornerEntered',
                    new GLib.Variant('(ii)', [monitor.width, monitor.height]));
        });
        Main.layoutManager.addTopChrome(this._corner);
        this._monitorsSignal = Main.layoutManager.connect('monitors-changed', () => this._placeCorner());
        this._placeCorner();

        this._dbus = Gio.DBusExportedObject.wrapJSObject(TollgateBusInterface, this);
        this._dbus.export(Gio.DBus.session, TollgateBusPath);
        this._changed();
    }

    disable() {
        if (this._pendingReport)
            GLib.source_remove(this._pendingReport);
        this._pendingReport = 0;
        this._dbus.unexport();
        this._dbus = null;
        for (const id of this._displaySignals)
            global.display.disconnect(id);
        for (const [window, ids] of this._windowSignals) {
            for (const id of ids)
                window.disconnect(id);
        }
        this._windowSignals.clear();
        Main.layoutManager.disconnect(this._monitorsSignal);
        Main.layoutManager.removeChrome(this._corner);
        this._corner.destroy();
        this._corner = null;
    }

    _watch(window) {
        if (!window || this._windowSignals.has(window))
            return;
        const ids = ['notify::title', 'notify::above'].map(signal => window.connect(signal, () => this._changed()));
        ids.push(window.connect('unmanaged', () => {
            for (const id of this._windowSignals.get(window) || [])
                window.disconnect(id);
            this._windowSignals.delete(window);
            this._changed();
        }));
        this._windowSignals.set(window, ids);
    }

    // One signal per turn of the shell's main loop, however many changes came in it.
    _changed() {
        if (this._pendingReport || !this._dbus)
            return;
        this._pendingReport = GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
            this._pendingReport = 0;
            if (this._dbus)
                this._dbus.emit_signal('WindowsChanged', null);
            return GLib.SOURCE_REMOVE;
        });
    }

    _placeCorner() {
        const monitor = Main.layoutManager.primaryMonitor;
        if (!monitor)
            return;
        this._corner.set_position(monitor.x + monitor.width - TollgateCornerSize,
            monitor.y + monitor.height - TollgateCornerSize);
        this._corner.set_size(TollgateCornerSize, TollgateCornerSize);
    }

    // Normal windows and dialogs that a person could close, topmost first.
    _windows() {
        const types = [Meta.WindowType.NORMAL, Meta.WindowType.DIALOG, Meta.WindowType.MODAL_DIALOG];
        const windows = global.display.list_all_windows().filter(
            window => types.includes(window.get_window_type()) && !window.is_override_redirect());
        return global.display.sort_windows_by_stacking(windows).reverse();
    }

    _find(id) {
        return this._windows().find(window => String(window.get_id()) === id) || null;
    }

    ListWindows() {
        const focus = global.display.focus_window;
        return JSON.stringify(this._windows().map(window => ({
            id: String(window.get_id()),
            caption: window.get_title() || '',
            pid: window.get_pid(),
            active: window === focus,
            transient: window.get_transient_for() !== null,
            keepAbove: window.is_above(),
        })));
    }

    CloseWindow(id) {
        const window = this._find(id);
        if (!window || !window.can_close())
            return false;
        // A D-Bus call carries no event time; a round trip to the display server gives one.
        window.delete(global.display.get_current_time_roundtrip());
        return true;
    }

    SetKeepAbove(id, above) {
        const window = this._find(id);
        if (!window)
            return false;
        if (above)
            window.make_above();
        else
            window.unmake_above();
        return true;
    }

    // As a click on the window would.
    Activate(id) {
        const window = this._find(id);
        if (!window)
            return false;
        Main.activateWindow(window, global.display.get_current_time_roundtrip());
        return true;
    }

    PrimaryMonitor() {
        const monitor = Main.layoutManager.primaryMonitor;
        return monitor ? [monitor.width, monitor.height] : [0, 0];
    }
}
