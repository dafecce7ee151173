/* A SAORI host written only from the documented interface, in plain C with no header of the
   project: LoadLibraryA, GetProcAddress of "load", "request" and "unload", fixed global memory
   both ways. Usage: plain_c_host MODULE FOLDER CHARSET ARG0 [ARG1]; prints the raw answer. */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef BOOL(__cdecl* LoadFn)(HGLOBAL, long);
typedef HGLOBAL(__cdecl* RequestFn)(HGLOBAL, long*);
typedef BOOL(__cdecl* UnloadFn)(void);

static HGLOBAL Block(const char* text, long len) {
    HGLOBAL h = GlobalAlloc(GMEM_FIXED, (SIZE_T)len);
    memcpy(h, text, (size_t)len);
    return h;
}

int main(int argc, char** argv) {
    HMODULE module;
    LoadFn load;
    RequestFn request;
    UnloadFn unload;
    char text[4096];
    long len;
    HGLOBAL answer;
    if (argc < 5) return 10;
    _setmode(_fileno(stdout), _O_BINARY);
    module = LoadLibraryA(argv[1]);
    if (!module) return 11;
    load = (LoadFn)(void*)GetProcAddress(module, "load");
    request = (RequestFn)(void*)GetProcAddress(module, "request");
    unload = (UnloadFn)(void*)GetProcAddress(module, "unload");
    if (!load || !request || !unload) return 12;
    load(Block(argv[2], (long)strlen(argv[2])), (long)strlen(argv[2]));
    len = sprintf(text,
                    "EXECUTE SAORI/1.0\r\nSender: plain\r\nCharset: %s\r\nSecurityLevel: Local\r\n"
                    "Argument0: %s\r\n",
                    argv[3], argv[4]);
    if (argc > 5) len += sprintf(text + len, "Argument1: %s\r\n", argv[5]);
    len += sprintf(text + len, "\r\n");
    answer = request(Block(text, len), &len);
    if (!answer) return 13;
    fwrite(answer, 1, (size_t)len, stdout);
    fflush(stdout);
    GlobalFree(answer);
    unload();
    FreeLibrary(module);
    return 0;
}
