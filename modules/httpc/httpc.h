#pragma once

// The entry points of the SAORI HTTP module httpc.so / httpc.dll, looked up by name (dlsym,
// GetProcAddress): the three every SAORI module has, and "cancel", which a host uses only where
// a module has it. Every block handed over in either direction is malloc'ed (Windows: a
// GlobalAlloc(GMEM_FIXED) block, as SAORI hosts hand them); the receiver frees it with free()
// (GlobalFree).

#ifdef _WIN32
#include <windows.h>
#define HTTPC_EXPORT __declspec(dllexport)
#else
#define HTTPC_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32

// The same four with the types and the cdecl convention of Windows SAORI hosts, exported
// undecorated. The folder text is in the system's ANSI code page; the request's Charset header
// (Shift_JIS or UTF-8; none means the ANSI code page) says how file names and markers are read.
// "load" answers TRUE when the module is ready, FALSE when the folder text is unusable.
HTTPC_EXPORT BOOL __cdecl load(HGLOBAL block, long len);
HTTPC_EXPORT HGLOBAL __cdecl request(HGLOBAL block, long* len);
HTTPC_EXPORT BOOL __cdecl unload(void);
HTTPC_EXPORT void __cdecl cancel(void);

#else

// Takes the work folder (text without a terminating zero, `len` bytes) and frees `block`.
// 0 when the module is ready; 1 when the folder text is unusable (requests then answer 500).
int load(char* block, long len);

// Answers one "EXECUTE SAORI/1.0" request of *len bytes; frees `block`. Returns a malloc'ed
// answer (status line, headers, empty line, CR LF each) and its byte count through `len`;
// null with *len 0 only when no memory is left.
char* request(char* block, long* len);

// Releases everything load took; 0 always.
int unload(void);

// Callable from any thread, also while "request" runs on another: the request in flight ends
// at once with a 500 answer "Reason: cancelled" (its partial file removed), and so does every
// later request until the next "load".
void cancel(void);

#endif

#ifdef __cplusplus
}
#endif
