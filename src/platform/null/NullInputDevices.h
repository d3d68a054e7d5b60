#pragma once

#include "platform/InputDevices.h"

namespace Tollgate::Platform {

// For sessions whose input we cannot see: a still cursor, no keys, no screen.
class NullInputDevices : public InputDevices
{
public:
    explicit NullInputDevices(QString reason);

    QPoint cursorPosition() override { return {}; }
    bool setCursorPosition(QPoint) override { return false; }
    QSize primaryScreenSize() override { return {}; }
    bool keyActive(int) override { return false; }
    QList<CapabilityStatus> capabilities() override;

private:
    QString m_reason;
};

} // namespace Tollgate::Platform
