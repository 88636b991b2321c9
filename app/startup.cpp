#include "app/startup.h"
int RunQuillmere(HINSTANCE) { return 1; } // PLACEHOLDER
