// The production address-bar hook, compiled into the hook benchmark with the code
// generation options of Trailhook.dll. Its hook procedure is static: this file hands it
// out, so that the benchmark measures the function the library ships, not a copy.
#include "hooklib/trailhook.cpp"

HOOKPROC BenchAddressBarHook(void)
{
    return AddressBarHookProc;
}
