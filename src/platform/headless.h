// A GL context with no display: EGL on Mesa's surfaceless platform with a
// pbuffer surface (a surface is needed for a default framebuffer, which
// glCopyTexImage2D reads). Used by the gl tests and the headless renderer.
#pragma once

// Creates and makes current a compatibility-profile context drawing into a
// width x height pbuffer with RGBA8 and a depth buffer of at least depthBits
// (16 or 24). False on failure (the reason goes to stderr). Calling it again
// replaces the context.
bool CreateHeadlessContext(int width, int height, int depthBits = 24);
void DestroyHeadlessContext();
