// The wizard's link controls where the system has none. Its pages name the link control
// class of the common controls, which came with Windows XP; on Windows NT 4.0 and 2000 a
// page that names a class the system lacks is never created, and the wizard would not
// open. There a small control of the program's own takes the class name.
#pragma once
#include <windows.h>

// Registers the plain link control under className unless a class of that name exists
// already. The control shows its text without the <a> and </a> tags, underlined in the
// colour of links, and tells its parent of a click or of Return or Space while it has the
// focus as the system's control does: WM_NOTIFY with NM_CLICK or NM_RETURN from its id.
// True when a class of that name is there afterwards.
bool ensureLinkClass(const char* className);
