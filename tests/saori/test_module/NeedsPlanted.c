/* A module that imports Planted.c's DLL: loadable only where that DLL is found. */
__declspec(dllimport) int planted_value(void);

__declspec(dllexport) int needs_planted(void) {
    return planted_value();
}
