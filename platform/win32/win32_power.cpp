// Power: the request to stay awake, and sleep, hibernation and shutdown.

#include "platform/win32/win32_platform.h"

namespace czuwajnik::win32 {

void Win32Platform::keepSystemAwake(bool awake) {
    SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

}  // namespace czuwajnik::win32
