// The production address-bar hook, compiled into the hook benchmark and tests with the code
// generation options of Trailhook.dll. Its hook procedure is static: this file hands it
// out, so that they measure and test the function the library ships, not a copy.
#include "hooklib/trailhook.cpp"

HOOKPROC AddressBarHookUnderTest(void)
{
    return AddressBarHookProc;
}
