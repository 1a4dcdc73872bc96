// Headless GL context: EGL on Mesa's surfaceless platform, drawing into a
// pbuffer so there is a default framebuffer to read and copy from.
#include "platform/headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>

namespace {
EGLDisplay HeadlessDisplay = EGL_NO_DISPLAY;
EGLContext HeadlessContext = EGL_NO_CONTEXT;
EGLSurface HeadlessSurface = EGL_NO_SURFACE;

bool Fail(const char* what) {
    std::fprintf(stderr, "headless GL: %s failed (EGL error 0x%x)\n", what, eglGetError());
    DestroyHeadlessContext();
    return false;
}

EGLDisplay OpenSurfacelessDisplay() {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay)
        return EGL_NO_DISPLAY;
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

// EGL sorts the configs with the smallest sufficient depth buffer first.
bool ChooseConfig(int depthBits, EGLConfig* config) {
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 EGL_PBUFFER_BIT,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_ALPHA_SIZE,
                                 8,
                                 EGL_DEPTH_SIZE,
                                 depthBits,
                                 EGL_NONE};
    EGLint count = 0;
    return eglChooseConfig(HeadlessDisplay, attributes, config, 1, &count) && count == 1;
}

// A compatibility profile: the engine draws with the fixed-function pipeline.
EGLContext CreateCompatibilityContext(EGLConfig config) {
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    return eglCreateContext(HeadlessDisplay, config, EGL_NO_CONTEXT, attributes);
}
}  // namespace

bool CreateHeadlessContext(int width, int height, int depthBits) {
    DestroyHeadlessContext();
    HeadlessDisplay = OpenSurfacelessDisplay();
    if (HeadlessDisplay == EGL_NO_DISPLAY)
        return Fail("eglGetPlatformDisplayEXT");
    if (!eglInitialize(HeadlessDisplay, nullptr, nullptr))
        return Fail("eglInitialize");
    if (!eglBindAPI(EGL_OPENGL_API))
        return Fail("eglBindAPI");
    EGLConfig config;
    if (!ChooseConfig(depthBits, &config))
        return Fail("eglChooseConfig");
    const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    HeadlessSurface = eglCreatePbufferSurface(HeadlessDisplay, config, surfaceAttributes);
    if (HeadlessSurface == EGL_NO_SURFACE)
        return Fail("eglCreatePbufferSurface");
    HeadlessContext = CreateCompatibilityContext(config);
    if (HeadlessContext == EGL_NO_CONTEXT)
        return Fail("eglCreateContext");
    if (!eglMakeCurrent(HeadlessDisplay, HeadlessSurface, HeadlessSurface, HeadlessContext)) {
        return Fail("eglMakeCurrent");
    }
    return true;
}

void DestroyHeadlessContext() {
    if (HeadlessDisplay == EGL_NO_DISPLAY)
        return;
    eglMakeCurrent(HeadlessDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (HeadlessContext != EGL_NO_CONTEXT)
        eglDestroyContext(HeadlessDisplay, HeadlessContext);
    if (HeadlessSurface != EGL_NO_SURFACE)
        eglDestroySurface(HeadlessDisplay, HeadlessSurface);
    eglTerminate(HeadlessDisplay);
    HeadlessDisplay = EGL_NO_DISPLAY;
    HeadlessContext = EGL_NO_CONTEXT;
    HeadlessSurface = EGL_NO_SURFACE;
}
