// Small string helpers: a bounded copy and the conversion of this
// platform's text (UTF-8) to wide characters. Nothing in the saver calls
// them yet; the tests pin their rules.
#pragma once

// Converts the NUL-terminated text (UTF-8, this platform's ANSI code page)
// into count wide characters, always terminating; count -1 means the text's
// length plus one. Does nothing when a pointer is null.
void AnsiToWide(wchar_t* wide, const char* ansi, int count);
// As above, and does nothing when count is 0.
void AnsiToWideGuarded(wchar_t* wide, const char* ansi, int count);

// Copies at most count characters and forces dst[count - 1] to NUL; count -1
// copies the whole string. Does nothing when a pointer is null or count is 0.
void CopyStringBounded(char* dst, const char* src, int count);
