#pragma once

// The few operating-system services the program needs, behind one interface so that a port
// changes only the matching PlatformXxx.cpp file. Nothing here throws.

#include <cstddef>
#include <string>

// windows.h names a macro FreeModule (an old alias of FreeLibrary); include windows.h before
// this header in a file that needs both.
#ifdef FreeModule
#undef FreeModule
#endif

namespace norvo::platform {

// Opaque handle of a loaded module; null means "none".
using ModuleHandle = void*;

// Loads the module file at `path` (a name without '/' is taken in the current folder, never
// searched for) with every symbol bound now and kept private. Null on failure or an empty
// path, with the reason in `*error` when given. On Windows the path is made absolute and the
// DLLs the module needs are looked for only in its own folder and the system folder.
ModuleHandle LoadModule(const std::string& path, std::string* error = nullptr);

// Address of the export `name` in `module`, or null when it does not export it.
void* FindExport(ModuleHandle module, const char* name);

// Releases one reference to `module`; a null handle is ignored.
void FreeModule(ModuleHandle module);

// Allocator shared with modules for handed-over blocks (malloc/free on POSIX,
// GlobalAlloc(GMEM_FIXED)/GlobalFree on Windows). May return null.
char* AllocHandover(size_t len);
// Frees a block from AllocHandover or one a module handed back; null is ignored.
void FreeHandover(void* block);

// Test seam: replaces the handover allocator (null restores the default); returns the previous.
using HandoverAllocator = void* (*)(size_t);
HandoverAllocator SetHandoverAllocatorForTesting(HandoverAllocator alloc);

// The directory text a module's "load" is handed for `folder`: the folder as it is on POSIX; on
// Windows in the system's ANSI code page with '\' separators and a '\' at the end, as SAORI
// modules read it, taking the folder's short (8.3) path where its long path cannot be written
// in that code page. False when neither can.
bool ModuleDirectoryText(const std::string& folder, std::string& text);

// Folder of the running program from its executable's real path, ending with '/' ('\' on
// Windows); "" if unknown.
std::string ProgramFolder();

// The program's own files lie at fixed places relative to the program folder, the same in the
// build folder and in an installed or copied tree (POSIX: bin/ → lib/norvo/, share/norvo/;
// Windows: the program's own folder and its data\ folder).
// Each ends with '/'; "" when the program folder is unknown, so nothing is ever looked for
// relative to the working folder.
// The folder of the SAORI module and the private helpers.
std::string ModuleFolder();
// The folder of the read-only data: the mask and the bundled gallery.
std::string DataFolder();

// Folder for per-process private folders: $XDG_RUNTIME_DIR when usable, else $TMPDIR, else /tmp;
// on Windows the user's temp folder, in its short form when only that can be written in the
// ANSI code page. Never ends with a separator.
std::string PrivateBaseFolder();

// Creates a fresh folder `<base>/<prefix>XXXXXX` with owner-only permissions (Windows: an access
// list that names only the current user); its path (without a trailing separator) or "" on
// failure.
std::string MakePrivateFolder(const std::string& base, const std::string& prefix);

// Removes the folder `path` and everything in it without following any symbolic link (Windows:
// any reparse point, junctions included): links are removed, never entered. False when anything
// could not be removed, or `path` is not a real folder.
bool RemoveTree(const std::string& path);

}  // namespace norvo::platform
