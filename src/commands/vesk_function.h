// The @VESK variable function and the _VESK variable.
#ifndef VESK_FUNCTION_H
#define VESK_FUNCTION_H

#include <wchar.h>

#include "plugin/plugin.h"

extern "C" {
/// @VESK[filespec,criterion,attribs,flags,stamp]: buffer (HOST_RESULT_LEN characters)
/// holds the arguments on entry and, on 0, the full name of the best file or the empty
/// text. -1 for a null buffer or a bad argument (reported; buffer left as given).
PLUGIN_EXPORT int HOST_CALL f_vesk(wchar_t *buffer);
/// _VESK: LastCount as decimal text into buffer. 0, or -1 for a null buffer.
PLUGIN_EXPORT int HOST_CALL _vesk(wchar_t *buffer);
}

#endif
