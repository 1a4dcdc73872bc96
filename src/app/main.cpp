// Entry point of the demo: settings dialog, window, main loop.
int main() { return 0; }
