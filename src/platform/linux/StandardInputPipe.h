#pragma once

#include "FileDescriptor.h"
#include "platform/StandardInput.h"

#include <QSocketNotifier>
#include <memory>

namespace Tollgate::Platform {

// Standard input read through the event loop. It takes the input over: what it reads moves
// to a descriptor that the programs we start do not inherit, and descriptor 0 becomes
// /dev/null, so that no child can read lines meant for us.
class StandardInputPipe : public StandardInput
{
public:
    StandardInputPipe();

    void read(Received received, std::function<void()> ended) override;

private:
    void readable();
    void stop();

    FileDescriptor m_fd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    Received m_received;
    std::function<void()> m_ended;
};

} // namespace Tollgate::Platform
