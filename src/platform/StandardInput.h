#pragma once

#include <QByteArray>
#include <functional>

namespace Tollgate::Platform {

// The process's standard input, read as it arrives without holding up the event loop.
// This base reads nothing: it stands where no backend reads standard input.
class StandardInput
{
public:
    using Received = std::function<void(const QByteArray&)>;

    virtual ~StandardInput() = default;

    // Starts reading: received gets each piece as it comes, in no particular sizes; ended is
    // called once, at the end of the input or on an error, and nothing is read after it.
    virtual void read(Received /*received*/, std::function<void()> /*ended*/) { }
};

} // namespace Tollgate::Platform
