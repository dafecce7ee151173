/* A SAORI module written only from the documented interface, in plain C with no header of the
   project: the exports, fixed global memory both ways, the request and answer texts. It
   answers every request with its Argument0 reversed as "Result", and stores the folder it
   was given as "Value0". */
#include <string.h>
#include <windows.h>

static char g_folder[1024];

__declspec(dllexport) BOOL __cdecl load(HGLOBAL h, long len) {
    if (len < 0 || len >= (long)sizeof g_folder) len = 0;
    memcpy(g_folder, h, (size_t)len);
    g_folder[len] = 0;
    GlobalFree(h);
    return TRUE;
}

__declspec(dllexport) BOOL __cdecl unload(void) {
    return TRUE;
}

__declspec(dllexport) HGLOBAL __cdecl request(HGLOBAL h, long* len) {
    char argument[512] = "";
    const char* text = (const char*)h;
    const char* found = NULL;
    long i;
    for (i = 0; i + 11 <= *len; ++i) {
        if (memcmp(text + i, "Argument0: ", 11) == 0) {
            found = text + i + 11;
            break;
        }
    }
    if (found) {
        size_t n = 0;
        while (found + n < text + *len && found[n] != '\r' && n + 1 < sizeof argument) ++n;
        for (i = 0; i < (long)n; ++i) argument[i] = found[n - 1 - (size_t)i];
        argument[n] = 0;
    }
    GlobalFree(h);
    {
        char answer[2048];
        int n = sprintf(answer, "SAORI/1.0 200 OK\r\nResult: %s\r\nValue0: %s\r\n\r\n", argument,
                          g_folder);
        HGLOBAL out = GlobalAlloc(GMEM_FIXED, (SIZE_T)n);
        memcpy(out, answer, (size_t)n);
        *len = n;
        return out;
    }
}
