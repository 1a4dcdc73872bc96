// norvale-datagen: writes every data file into the folder given (placeholder).
#include "music.h"

int main() { return 0; }
