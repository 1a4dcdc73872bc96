// The soft glow: the glow pass's 64x64 picture captured and shrunk, then the
// frame graded and the glow added over it.
#pragma once

// Made once at start-up, before the texture table, and kept until the
// process ends.
extern unsigned int GlowTexture;
void CreateGlowTexture();
// After the glow pass: its corner of the frame, shrunk to 16x16 in GlowTexture.
void CaptureGlow();
// After the full pass: GradeColor and GradeContrast over the frame, then
// five taps of the glow tinted by GlowColor.
void ComposeFrame();
