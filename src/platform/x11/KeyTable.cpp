#include "KeyTable.h"

#define XK_MISCELLANY
#define XK_LATIN1
#include <X11/XF86keysym.h>
#include <X11/keysymdef.h>
#include <algorithm>

namespace Tollgate::Platform {

int KeyTable::virtualKeyForKeysym(quint32 keysym)
{
    if (keysym >= XK_0 && keysym <= XK_9)
        return 0x30 + int(keysym - XK_0);
    if (keysym >= XK_a && keysym <= XK_z)
        return 0x41 + int(keysym - XK_a);
    if (keysym >= XK_A && keysym <= XK_Z)
        return 0x41 + int(keysym - XK_A);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        return 0x60 + int(keysym - XK_KP_0);
    if (keysym >= XK_F1 && keysym <= XK_F15)
        return 0x70 + int(keysym - XK_F1);
    switch (keysym) {
    case XK_Home:
        return 0x24;
    case XK_Left:
        return 0x25;
    case XK_Up:
        return 0x26;
    case XK_Right:
        return 0x27;
    case XK_Down:
        return 0x28;
    case XK_Select:
        return 0x29;
    case XK_Execute:
        return 0x2B;
    case XK_Print:
        return 0x2C;
    case XK_Insert:
        return 0x2D;
    case XK_Delete:
        return 0x2E;
    case XK_Help:
        return 0x2F;
    case XK_Super_L:
        return 0x5B;
    case XK_Super_R:
        return 0x5C;
    case XK_Menu:
        return 0x5D;
    case XF86XK_Sleep:
        return 0x5F;
    case XK_KP_Multiply:
        return 0x6A;
    case XK_KP_Add:
        return 0x6B;
    case XK_KP_Separator:
        return 0x6C;
    case XK_KP_Subtract:
        return 0x6D;
    case XK_KP_Decimal:
        return 0x6E;
    case XK_KP_Divide:
        return 0x6F;
    }
    return 0;
}

void KeyTable::build(quint8 firstKeycode, int keysymsPerKeycode, const quint32* keysyms, int keysymCount)
{
    for (auto& keys : m_virtualKeys)
        keys.clear();
    if (keysymsPerKeycode <= 0)
        return;
    for (int index = 0; index < keysymCount; ++index) {
        const int keycode = firstKeycode + index / keysymsPerKeycode;
        if (keycode > 255)
            break;
        const int virtualKey = virtualKeyForKeysym(keysyms[index]);
        auto& keys = m_virtualKeys[keycode];
        if (virtualKey && std::find(keys.begin(), keys.end(), virtualKey) == keys.end())
            keys.push_back(virtualKey);
    }
}

QList<quint8> KeyTable::keycodes(int virtualKey) const
{
    QList<quint8> result;
    for (int keycode = 0; keycode < 256; ++keycode) {
        const auto& keys = m_virtualKeys[keycode];
        if (std::find(keys.begin(), keys.end(), virtualKey) != keys.end())
            result.append(quint8(keycode));
    }
    return result;
}

} // namespace Tollgate::Platform
