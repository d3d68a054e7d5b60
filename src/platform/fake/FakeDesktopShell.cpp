#include "FakeDesktopShell.h"
