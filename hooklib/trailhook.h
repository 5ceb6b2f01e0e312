// Trailhook's exports, bound by Trailkeep at load time (ordinal 1 freehook, 2 sethook).
#pragma once

#ifdef TRAILHOOK_BUILD
#define TRAILHOOK_API extern "C" __declspec(dllexport)
#else
#define TRAILHOOK_API extern "C" __declspec(dllimport)
#endif

// Installs the system-wide address-bar hook and creates the handoff mutex, owned by the
// calling thread. 1 on success; 0 after showing why.
TRAILHOOK_API int sethook(void);
// Closes the library's mutex handle and removes the hook; nonzero when it was removed.
TRAILHOOK_API int freehook(void);
