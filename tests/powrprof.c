// A stand-in for the system's powrprof.dll, for a Wine prefix of the tests' own: hibernation is off,
// and a suspend is refused with ERROR_PRIVILEGE_NOT_HELD once what was asked is added to
// powrprof.txt in the current folder.
#include <windows.h>

#include <stdio.h>

__declspec(dllexport) BOOLEAN WINAPI IsPwrHibernateAllowed(void) { return FALSE; }

__declspec(dllexport) BOOLEAN WINAPI SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN noWakeEvents) {
    FILE* asked = fopen("powrprof.txt", "ab");
    if (asked != NULL) fprintf(asked, "SetSuspendState %d %d %d\n", hibernate, force, noWakeEvents), fclose(asked);
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}
