// The settings file as text: a save edits the keys it writes into the file's text and
// leaves everything else as it stands (other sections, unknown keys, comments, line ends),
// so that the new file can replace the old one in one step. Platform-free.
#pragma once

enum {
    kMaxIniEdits = 96,        // more than the keys of one save: 12 settings, 30 + 50 paths
};

// The text is UTF-16. An ANSI file is rewritten byte for byte, each byte widened to a unit
// of its value and narrowed back: the rewrite looks at ASCII characters alone, so every
// byte it does not edit comes back as it was, DBCS trail bytes included.
template <typename Ch>
struct IniEditOf {
    const Ch* section;  // compared without regard to ASCII case, as the profile API does
    const Ch* key;      // likewise
    const Ch* value;    // the new value; null deletes the key
};
typedef IniEditOf<char16_t> WideIniEdit;

// Writes `in` (`inLen` units) with the edits applied into `out` (`outCap` units) and returns
// the length written, or -1 when the edits are too many or `out` is too small.
//   - Lines end at CR, LF or CR LF, as the profile API reads them; a section starts at a
//     line whose first non-blank character is "[", and a key line's name is the text
//     before its first "=", without surrounding blanks.
//   - In the first section of an edit's name, the first line of the key takes the new
//     value in place; every later line of that key in any section of that name goes, and
//     a deleted key's lines all go.
//   - A key the section lacks follows the section's last non-blank line, in edit order; a
//     section the text lacks is added at its end with its keys.
//   - Written lines end with CR LF. A value is cut at its first CR or LF, so that no value
//     can add lines of its own to the file.
int RewriteIni(const char16_t* in, int inLen, const WideIniEdit* edits, int editCount,
               char16_t* out, int outCap);
