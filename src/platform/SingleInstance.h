#pragma once

namespace Tollgate::Platform {

// Whether another instance of the program runs in this user's session. The claim lasts
// as long as the object, and the system drops it when the process ends, however it ends.
class SingleInstance
{
public:
    virtual ~SingleInstance() = default;

    // Takes the claim if it is free; true when another instance holds it. A claim that
    // cannot be checked counts as free, so the program still starts.
    virtual bool otherInstanceRuns() = 0;
};

} // namespace Tollgate::Platform
