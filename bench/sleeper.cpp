// The program the benchmark has the utility start: it does nothing for ten minutes, unless
// it is ended sooner, which is how the benchmark ends it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    Sleep(10 * 60 * 1000);
    return 0;
}
