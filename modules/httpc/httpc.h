#pragma once

// The entry points of the SAORI HTTP module httpc.so, looked up by name with dlsym: the three
// every SAORI module has, and "cancel", which a host uses only where a module has it.
// Every block handed over in either direction is malloc'ed; the receiver frees it with free().

#ifdef __cplusplus
extern "C" {
#endif

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

#ifdef __cplusplus
}
#endif
