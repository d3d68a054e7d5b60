#pragma once

#include <QList>
#include <array>
#include <cstdint>
#include <vector>

namespace Tollgate::Platform {

// Which virtual-key codes each X keycode stands for, built from the keyboard mapping.
// A keycode counts for a virtual key when any of its keysyms is that key's keysym, so a
// digit key counts as the digit on layouts that put the digit on the shifted level.
class KeyTable
{
public:
    // The virtual-key code of a keysym, 0 for keysyms outside the polled range.
    static int virtualKeyForKeysym(quint32 keysym);

    // keysyms holds keysymsPerKeycode entries for each keycode from firstKeycode on.
    void build(quint8 firstKeycode, int keysymsPerKeycode, const quint32* keysyms, int keysymCount);

    const std::vector<int>& virtualKeys(quint8 keycode) const { return m_virtualKeys[keycode]; }
    QList<quint8> keycodes(int virtualKey) const;

private:
    std::array<std::vector<int>, 256> m_virtualKeys;
};

} // namespace Tollgate::Platform
