/* Preloaded into the sanitizer run: dlclose does nothing, so the GL driver
   stays mapped at exit and LeakSanitizer can name the module a leak is in. */
int dlclose(void* handle) {
    (void)handle;
    return 0;
}
