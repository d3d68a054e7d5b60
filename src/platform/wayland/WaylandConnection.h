#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_interface;
struct wl_proxy;
class QSocketNotifier;

namespace Tollgate::Platform {

// Owns a proxy and destroys it with the protocol's own destructor request.
template<typename T> using WaylandObject = std::unique_ptr<T, void (*)(T*)>;

// A connection of Tollgate's own to the compositor (Qt's, if any, stays separate). Events
// are read through a socket notifier and by every query, never by blocking; the services
// register a callback that runs after each dispatch.
class WaylandConnection
{
public:
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    // Connects to the named display (the environment's when empty) and reads the list of
    // globals; null with the reason in *error when that fails.
    static std::shared_ptr<WaylandConnection> open(const QByteArray& name, QString* error);

    wl_display* display() const { return m_display; }
    bool hasGlobal(const char* interface) const { return globalName(interface) != 0; }
    // The compositor's name of the first global of this interface (the primary output or
    // seat); 0 when there is none.
    quint32 globalName(const char* interface) const;
    // Binds the first global of this interface at no more than maxVersion; null when absent.
    wl_proxy* bind(const wl_interface* interface, quint32 maxVersion);

    // Reads and dispatches whatever has arrived, without waiting, and sends what is queued.
    void dispatch();
    // Waits for the compositor to answer everything sent so far, dispatching meanwhile; only
    // at start-up and in tests, since it blocks. False when the connection is gone or the
    // compositor has not answered within RoundTripTimeoutMs.
    bool roundTrip();

    static constexpr int RoundTripTimeoutMs = 5000;
    bool hasError() const;

private:
    struct Global
    {
        QByteArray interface;
        quint32 name = 0;
        quint32 version = 0;
    };
    const Global* firstGlobal(const char* interface) const;

    explicit WaylandConnection(wl_display* display);
    // One read and dispatch, waiting at most timeoutMs for something to read.
    void readAndDispatch(int timeoutMs);

    static void onGlobal(
        void* data, wl_registry* registry, quint32 name, const char* interface, quint32 version);
    static void onGlobalRemove(void* data, wl_registry* registry, quint32 name);

    wl_display* m_display = nullptr;
    WaylandObject<wl_registry> m_registry;
    std::unique_ptr<QSocketNotifier> m_notifier;
    // In the order announced; outputs and seats come and go.
    std::vector<Global> m_globals;
};

} // namespace Tollgate::Platform
