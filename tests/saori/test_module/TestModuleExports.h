#pragma once

// C control interface exported by the scriptable test SAORI module, next to "load", "request",
// "unload" and "cancel". Tests reach it by dlopen-ing the same module file the host loads: the
// loader hands back the same object, so both sides share the module's state. Use
// TestModuleControl.h.

#include <limits.h>

#ifdef __cplusplus
extern "C" {
#endif

// `reportedLen` value that tells the host the answer's real length.
#define TM_REAL_LENGTH LONG_MIN

// Kinds of recorded calls.
enum { TM_EVENT_LOAD = 1, TM_EVENT_REQUEST = 2, TM_EVENT_UNLOAD = 3, TM_EVENT_CANCEL = 4 };

// Computes the answer to one request. Returns a malloc'ed block (the module hands it to the host
// as is) with its length in *answerLen, or null for a null answer block. `dir` is the directory
// text of the last "load".
typedef char* (*tm_answer_fn)(void* user, const char* request, long requestLen, const char* dir,
                              long dirLen, long* answerLen);

// Forgets everything: records, queue, callback, blocking; default answer "SAORI/1.0 200 OK" + an
// empty line; "load" result 1.
void tm_reset(void);
// Appends one answer to the queue. isNull: the request returns a null block. reportedLen other
// than TM_REAL_LENGTH is the length told to the host instead (shorter, longer or negative).
void tm_push_answer(const char* data, long len, int isNull, long reportedLen);
// Sets the answer used when the queue is empty and no callback is set.
void tm_set_default_answer(const char* data, long len, int isNull, long reportedLen);
// Sets (or clears with null) the callback consulted when the queue is empty.
void tm_set_answer_fn(tm_answer_fn fn, void* user);
// Value that "load" returns (the host ignores it).
void tm_set_load_result(int result);

// With blocking on, each "request" waits (after being recorded) until a release arrives.
// Turning blocking off releases every waiting request.
void tm_set_blocking(int on);
// Lets one waiting (or the next) request go on.
void tm_release_one(void);
// Number of requests waiting now.
int tm_blocked_count(void);
// Waits up to timeoutMs for at least `count` requests to be waiting; 1 reached, 0 timed out.
int tm_wait_blocked(int count, long timeoutMs);

// Number of recorded calls.
long tm_event_count(void);
// Copies event `index`: its kind into *kind and up to `cap` bytes of its data (directory text or
// request bytes) into buf. Returns the full data length, or -1 for no such event.
long tm_event_copy(long index, int* kind, char* buf, long cap);

#ifdef __cplusplus
}
#endif
