#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Tollgate::Platform {

// Window handles and process ids are 32-bit whole numbers; 0 means none.
using WindowId = quint32;
using ProcessId = quint32;

struct TopLevelWindow
{
    WindowId window = 0;
    bool ownedPopup = false; // a window that belongs to another one (a dialog of its main window)

    friend bool operator==(const TopLevelWindow&, const TopLevelWindow&) = default;
};

// This program's windows on screen, for desktops that do not say which process shows a
// window: the app id its windows carry and their titles.
struct OwnWindows
{
    QString appId;
    QStringList titles;
};

struct ProcessEntry
{
    ProcessId pid = 0;
    QString name; // executable file name without folders

    friend bool operator==(const ProcessEntry&, const ProcessEntry&) = default;
};

// Processes that started or ran another program, and processes that ended, since a
// caller last asked. A pid may be reported again without a change, and as ended although
// it was never reported running.
struct ProcessChanges
{
    // Ascending pid order, unless complete.
    QList<ProcessEntry> started;
    QList<ProcessId> ended;
    // started holds every running process in snapshot order; nothing else is known.
    bool complete = false;
};

enum class TerminateResult {
    Terminated,
    NotPermitted,
    NoSuchProcess,
};

// What the capability report lists, one line each.
enum class Capability {
    ForegroundWindow,
    WindowTitles,
    CloseRequests,
    TopMost,
    WindowProcessIds,
    KeyActivity,
    Cursor,
    ScreenSize,
    ProcessNames,
    TerminationRights,
    WindowEvents,
    ProcessEvents,
    SystemLog,
    Guard,
};

struct CapabilityStatus
{
    Capability capability;
    bool works = false;
    QString detail; // why not, or how
};

QString capabilityName(Capability capability);

} // namespace Tollgate::Platform
