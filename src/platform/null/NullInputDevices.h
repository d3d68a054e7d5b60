#pragma once

#include "platform/InputDevices.h"

namespace Tollgate::Platform {

// For sessions whose input we cannot see: a still cursor, no screen, and a user who counts as
// active, since nobody can tell that they are not working.
class NullInputDevices : public InputDevices
{
public:
    explicit NullInputDevices(QString reason);

    QPoint cursorPosition() override { return {}; }
    bool setCursorPosition(QPoint) override { return false; }
    QSize primaryScreenSize() override { return {}; }
    bool keyActive(int) override { return true; }
    QList<CapabilityStatus> capabilities() override;

private:
    QString m_reason;
};

} // namespace Tollgate::Platform
