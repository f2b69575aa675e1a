// The platform's load and unload hook: the library acquires nothing, so every
// reason is answered with success. Linux needs no hook.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#endif
