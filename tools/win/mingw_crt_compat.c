/* C runtime functions that JUCE's Windows code expects when clang compiles it (it then takes the
   compiler for MSVC's) and that msvcrt.dll, the runtime of Debian's MinGW-w64, does not export.
   Built by tools/win/build-image-libs.sh into libvur_mingw_compat.a, linked with JUCE's modules. */

#include <errno.h>
#include <string.h>
#include <time.h>

/* The name of the standard (index 0) or daylight-saving (index 1) time zone, as UCRT's _get_tzname
   gives it: *length is the size the name needs with its terminating null. */
static errno_t __cdecl vur_get_tzname (size_t* length, char* buffer, size_t size, int index)
{
    if (length == NULL || index < 0 || index > 1 || (buffer == NULL && size > 0))
        return EINVAL;

    _tzset();
    const char* name = _tzname[index] != NULL ? _tzname[index] : "";
    const size_t needed = strlen (name) + 1;
    *length = needed;
    if (buffer == NULL)
        return 0;
    if (size < needed)
    {
        if (size > 0)
            buffer[0] = '\0';
        return ERANGE;
    }
    memcpy (buffer, name, needed);
    return 0;
}

/* The callers declare the function dllimport, so they call through this import slot. */
errno_t (__cdecl* __imp__get_tzname) (size_t*, char*, size_t, int) = vur_get_tzname;
