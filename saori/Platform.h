#pragma once

// The few operating-system services the program needs, behind one interface so that a port
// changes only the matching PlatformXxx.cpp file. Nothing here throws.

#include <cstddef>
#include <string>

namespace norvo::platform {

// Opaque handle of a loaded module; null means "none".
using ModuleHandle = void*;

// Loads the module file at `path` (a name without '/' is taken in the current folder, never
// searched for) with every symbol bound now and kept private. Null on failure or an empty
// path, with the reason in `*error` when given.
ModuleHandle LoadModule(const std::string& path, std::string* error = nullptr);

// Address of the export `name` in `module`, or null when it does not export it.
void* FindExport(ModuleHandle module, const char* name);

// Releases one reference to `module`; a null handle is ignored.
void FreeModule(ModuleHandle module);

// Allocator shared with modules for handed-over blocks (malloc/free on POSIX). May return null.
char* AllocHandover(size_t len);
// Frees a block from AllocHandover or one a module handed back; null is ignored.
void FreeHandover(void* block);

// Test seam: replaces the handover allocator (null restores the default); returns the previous.
using HandoverAllocator = void* (*)(size_t);
HandoverAllocator SetHandoverAllocatorForTesting(HandoverAllocator alloc);

// Folder of the running program from its executable's real path, ending with '/'; "" if unknown.
std::string ProgramFolder();

// The program's own files lie at fixed places relative to the program folder, the same in the
// build folder and in an installed or copied tree (POSIX: bin/ → lib/norvo/, share/norvo/).
// Each ends with '/'; "" when the program folder is unknown, so nothing is ever looked for
// relative to the working folder.
// The folder of the SAORI module and the private helpers.
std::string ModuleFolder();
// The folder of the read-only data: the mask and the bundled gallery.
std::string DataFolder();

// Folder for per-process private folders: $XDG_RUNTIME_DIR when usable, else $TMPDIR, else /tmp.
// Never ends with '/'.
std::string PrivateBaseFolder();

// Creates a fresh folder `<base>/<prefix>XXXXXX` with owner-only permissions; its path (without a
// trailing '/') or "" on failure.
std::string MakePrivateFolder(const std::string& base, const std::string& prefix);

// Removes the folder `path` and everything in it without following any symbolic link: links are
// removed, never entered. False when anything could not be removed, or `path` is not a real folder.
bool RemoveTree(const std::string& path);

}  // namespace norvo::platform
