#include "ReportedWindows.h"

#include "WindowSystem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace Tollgate::Platform {

bool ReportedWindows::update(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isArray())
        return false;
    std::map<WindowId, Window> windows;
    QHash<QString, WindowId> ids;
    QList<WindowId> stacking;
    WindowId active = 0;
    for (const QJsonValue value : document.array()) {
        const QJsonObject object = value.toObject();
        const QString name = object.value(QStringLiteral("id")).toString();
        if (name.isEmpty() || ids.contains(name))
            continue;
        const WindowId id = m_ids.value(name, 0) ? m_ids.value(name) : m_nextId++;
        ids.insert(name, id);
        Window& window = windows[id];
        window.compositorId = name;
        window.caption = object.value(QStringLiteral("caption")).toString();
        const double pid = object.value(QStringLiteral("pid")).toDouble();
        window.pid = pid > 0 && pid < 4294967296.0 ? ProcessId(pid) : 0;
        window.transient = object.value(QStringLiteral("transient")).toBool();
        window.keepAbove = object.value(QStringLiteral("keepAbove")).toBool();
        if (object.value(QStringLiteral("active")).toBool())
            active = id;
        stacking.append(id);
    }
    // The keep-above band lies over every other window, whatever order the report had.
    std::stable_partition(
        stacking.begin(), stacking.end(), [&](WindowId id) { return windows[id].keepAbove; });
    m_windows = std::move(windows);
    m_ids = std::move(ids);
    m_stacking = std::move(stacking);
    m_active = active;
    return true;
}

void ReportedWindows::clear()
{
    m_windows.clear();
    m_ids.clear();
    m_stacking.clear();
    m_active = 0;
}

QString ReportedWindows::title(WindowId window) const
{
    const auto it = m_windows.find(window);
    return it == m_windows.end() ? QString() : it->second.caption.left(WindowSystem::MaxTitleLength);
}

ProcessId ReportedWindows::processId(WindowId window) const
{
    const auto it = m_windows.find(window);
    return it == m_windows.end() ? 0 : it->second.pid;
}

bool ReportedWindows::keptAbove(WindowId window) const
{
    const auto it = m_windows.find(window);
    return it != m_windows.end() && it->second.keepAbove;
}

QString ReportedWindows::compositorId(WindowId window) const
{
    const auto it = m_windows.find(window);
    return it == m_windows.end() ? QString() : it->second.compositorId;
}

QList<TopLevelWindow> ReportedWindows::stacking() const
{
    QList<TopLevelWindow> result;
    for (const WindowId id : m_stacking)
        result.append({id, m_windows.at(id).transient});
    return result;
}

} // namespace Tollgate::Platform
