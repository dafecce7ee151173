/* A DLL that another test DLL imports; the load-path test plants it in the working folder. */
__declspec(dllexport) int planted_value(void) {
    return 42;
}
