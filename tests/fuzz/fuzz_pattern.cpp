#include "FuzzTargets.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return Tollgate::Fuzz::pattern(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
}
