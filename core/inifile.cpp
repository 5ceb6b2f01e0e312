#include "inifile.h"

template <typename Ch>
static int IsBlank(Ch c)
{
    return c == ' ' || c == '\t';
}

template <typename Ch>
static Ch LowerAscii(Ch c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<Ch>(c + ('a' - 'A')) : c;
}

// 1 when the `n` bytes at `p` spell `name`, without regard to ASCII case.
template <typename Ch>
static int SameName(const Ch* p, int n, const Ch* name)
{
    int i = 0;
    for (; i < n; ++i) {
        if (name[i] == '\0' || LowerAscii(p[i]) != LowerAscii(name[i]))
            return 0;
    }
    return name[i] == '\0';
}

template <typename Ch>
static int LengthOf(const Ch* text)
{
    int n = 0;
    while (text[n] != '\0')
        ++n;
    return n;
}

enum { kLineBlank, kLineSection, kLineKey };

// One line of the text: its content [start, end) and the start of the next line.
struct Line {
    int start, end, next;
    int kind;                // kLine*
    int nameStart, nameEnd;  // the section's or the key's name
};

template <typename Ch>
static void ReadLine(const Ch* in, int len, int start, Line* line)
{
    int e = start;
    while (e < len && in[e] != '\r' && in[e] != '\n')
        ++e;
    int next = e;
    if (next < len && in[next] == '\r')
        ++next;
    if (next < len && in[next] == '\n' && (next == e || in[next - 1] == '\r'))
        ++next;
    line->start = start;
    line->end = e;
    line->next = next;

    int i = start;
    while (i < e && IsBlank(in[i]))
        ++i;
    if (i == e) {
        line->kind = kLineBlank;
        return;
    }
    int a, b;
    if (in[i] == '[') {
        line->kind = kLineSection;
        a = i + 1;
        b = e;
        for (int j = e - 1; j >= a; --j) {
            if (in[j] == ']') {
                b = j;
                break;
            }
        }
        while (a < b && IsBlank(in[a]))
            ++a;
    } else {
        line->kind = kLineKey;
        a = i;
        b = a;
        while (b < e && in[b] != '=')
            ++b;
    }
    while (b > a && IsBlank(in[b - 1]))
        --b;
    line->nameStart = a;
    line->nameEnd = b;
}

template <typename Ch>
struct Writer {
    Ch* out;
    int cap, length, overflow;
};

template <typename Ch>
static void Put(Writer<Ch>* w, const Ch* p, int n)
{
    if (w->overflow || n > w->cap - w->length) {
        w->overflow = 1;
        return;
    }
    for (int i = 0; i < n; ++i)
        w->out[w->length + i] = p[i];
    w->length += n;
}

template <typename Ch>
static void PutText(Writer<Ch>* w, const Ch* text)
{
    Put(w, text, LengthOf(text));
}

// Puts the ASCII text of the file's own syntax ("=", "[", line breaks).
template <typename Ch>
static void PutAscii(Writer<Ch>* w, const char* text)
{
    Ch units[4];
    int n = 0;
    for (; text[n] != '\0'; ++n)
        units[n] = static_cast<Ch>(text[n]);
    Put(w, units, n);
}

// Puts a line break unless the output is empty or already ends with one.
template <typename Ch>
static void EndOpenLine(Writer<Ch>* w)
{
    if (w->length > 0 && w->out[w->length - 1] != '\n' && w->out[w->length - 1] != '\r')
        PutAscii(w, "\r\n");
}

template <typename Ch>
static void PutKeyLine(Writer<Ch>* w, const IniEditOf<Ch>& edit)
{
    PutText(w, edit.key);
    PutAscii(w, "=");
    int n = 0;
    while (edit.value[n] != '\0' && edit.value[n] != '\r' && edit.value[n] != '\n')
        ++n;
    Put(w, edit.value, n);
    PutAscii(w, "\r\n");
}

template <typename Ch>
static int Rewrite(const Ch* in, int inLen, const IniEditOf<Ch>* edits, int editCount, Ch* out,
                   int outCap)
{
    if (editCount < 0 || editCount > kMaxIniEdits || inLen < 0)
        return -1;
    // Per edit: where the first section of its name starts (-1: none), where keys missing
    // from it go (after its last non-blank line), and whether its key has been written.
    int firstHeader[kMaxIniEdits], insertAt[kMaxIniEdits];
    unsigned char inSection[kMaxIniEdits], written[kMaxIniEdits];
    for (int e = 0; e < editCount; ++e) {
        firstHeader[e] = insertAt[e] = -1;
        inSection[e] = written[e] = 0;
    }

    Line line;
    for (int at = 0; at < inLen; at = line.next) {
        ReadLine(in, inLen, at, &line);
        for (int e = 0; e < editCount; ++e) {
            if (line.kind == kLineSection) {
                inSection[e] = firstHeader[e] < 0 &&
                               SameName(in + line.nameStart, line.nameEnd - line.nameStart,
                                        edits[e].section);
                if (inSection[e]) {
                    firstHeader[e] = line.start;
                    insertAt[e] = line.next;
                }
            } else if (line.kind == kLineKey && inSection[e]) {
                insertAt[e] = line.next;
            }
        }
    }

    // inSection: the line lies in a section of the edit's name; inFirst: in the first one.
    unsigned char inFirst[kMaxIniEdits];
    Writer<Ch> w = {out, outCap, 0, 0};
    for (int e = 0; e < editCount; ++e)
        inSection[e] = inFirst[e] = 0;
    for (int at = 0; at < inLen; at = line.next) {
        ReadLine(in, inLen, at, &line);
        const Ch* name = in + line.nameStart;
        const int nameLength = line.nameEnd - line.nameStart;
        int keep = 1;
        for (int e = 0; e < editCount; ++e) {
            if (line.kind == kLineSection) {
                inSection[e] = SameName(name, nameLength, edits[e].section);
                inFirst[e] = line.start == firstHeader[e];
            } else if (line.kind == kLineKey && inSection[e] && keep &&
                       SameName(name, nameLength, edits[e].key)) {
                // The key's first line in the first section of the name takes the value;
                // any other line of it goes.
                keep = 0;
                if (inFirst[e] && edits[e].value != nullptr && !written[e]) {
                    PutKeyLine(&w, edits[e]);
                    written[e] = 1;
                }
            }
        }
        if (keep) {
            // A blank LF line right after a lone CR would read as the end of that CR's
            // line once a line between them has gone: it keeps its own line as CR LF.
            if (in[line.start] == '\n' && w.length > 0 && w.out[w.length - 1] == '\r')
                PutAscii(&w, "\r");
            Put(&w, in + line.start, line.next - line.start);
        }
        // Keys the first section of a name lacks follow its last non-blank line.
        for (int e = 0; e < editCount; ++e) {
            if (insertAt[e] == line.next && edits[e].value != nullptr && !written[e]) {
                EndOpenLine(&w);
                PutKeyLine(&w, edits[e]);
                written[e] = 1;
            }
        }
    }

    // Sections the text lacks come at its end, each with its keys in edit order.
    for (int e = 0; e < editCount; ++e) {
        if (written[e] || edits[e].value == nullptr || firstHeader[e] >= 0)
            continue;
        EndOpenLine(&w);
        if (w.length > 0)
            PutAscii(&w, "\r\n");
        PutAscii(&w, "[");
        PutText(&w, edits[e].section);
        PutAscii(&w, "]\r\n");
        for (int f = e; f < editCount; ++f) {
            if (!written[f] && edits[f].value != nullptr && firstHeader[f] < 0 &&
                SameName(edits[f].section, LengthOf(edits[f].section), edits[e].section)) {
                PutKeyLine(&w, edits[f]);
                written[f] = 1;
            }
        }
    }
    return w.overflow ? -1 : w.length;
}

int RewriteIni(const char16_t* in, int inLen, const WideIniEdit* edits, int editCount,
               char16_t* out, int outCap)
{
    return Rewrite(in, inLen, edits, editCount, out, outCap);
}
