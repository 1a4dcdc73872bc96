// Loading sequence (placeholder).
#include "resources/loading.h"

LogoPlacement ComputeLogoPlacement(int, int, float) { return LogoPlacement{0, false, 0, 0, 1, 1}; }
void RunLoadingSequence() {}
