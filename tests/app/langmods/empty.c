/* Resource-only language modules are only ever loaded as data; the entry point exists
   because a module must have one. */
int __stdcall LanguageModuleEntry(void* module, unsigned reason, void* reserved) {
    (void)module, (void)reason, (void)reserved;
    return 1;
}
