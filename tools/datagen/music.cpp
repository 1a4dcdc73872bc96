// Music synthesis (placeholder).
#include "music.h"

bool WriteJingle(const char*) {
    return false;
}
bool WriteSoundtrack(const char*) {
    return false;
}
