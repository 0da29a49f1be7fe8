// Linked into every program of a sanitizer build, never into a player's.
//
// LeakSanitizer names the code that made a leaked allocation only once the
// process ends, by then a library that was unloaded (the GL driver Mesa loads
// under an X display and closes with it) is gone, and with it its name and the
// globals that still held its memory: its allocations are reported as leaks of
// "<unknown module>" that no suppression can match. With every library kept
// loaded until exit, what a library still holds is reachable and not reported,
// and what it really leaks is reported under its own name.
extern "C" int dlclose(void *)
{
    return 0;
}
