/* The shell reads PluginInfo by its fixed layout; a C plug-in and a C++ plug-in must
 * see the same one: six text pointers, then three ints, nothing in between. */
#include <stddef.h>

#include "plugin/host_api.h"

#define PTR sizeof(const wchar_t *)

_Static_assert(offsetof(PluginInfo, Name) == 0 * PTR, "Name");
_Static_assert(offsetof(PluginInfo, Author) == 1 * PTR, "Author");
_Static_assert(offsetof(PluginInfo, Email) == 2 * PTR, "Email");
_Static_assert(offsetof(PluginInfo, WebPage) == 3 * PTR, "WebPage");
_Static_assert(offsetof(PluginInfo, Description) == 4 * PTR, "Description");
_Static_assert(offsetof(PluginInfo, Implements) == 5 * PTR, "Implements");
_Static_assert(offsetof(PluginInfo, Major) == 6 * PTR, "Major");
_Static_assert(offsetof(PluginInfo, Minor) == 6 * PTR + sizeof(int), "Minor");
_Static_assert(offsetof(PluginInfo, Build) == 6 * PTR + 2 * sizeof(int), "Build");
_Static_assert(sizeof(int) == 4, "int is 32 bits");

/* Something for the object file to hold. */
int HostApiLayoutChecked(void) { return (int)sizeof(PluginInfo); }
