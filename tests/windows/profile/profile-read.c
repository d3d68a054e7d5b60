/* What the Windows profile service reads from INI files: for each file, every section and
 * entry it enumerates and every name that the raw lines suggest, each read with
 * GetPrivateProfileStringA into a 255-byte buffer, one line per read:
 *
 *   file NAME
 *   read SECTION<TAB>ENTRY<TAB>DEFAULT<TAB>VALUE
 *
 * all escaped (bytes outside printable ASCII, backslash and tab as \xHH). Each value read
 * is also given once as the default of a missing entry, since defaults pass through the
 * same read. Cross-built with MinGW and run under Wine; plain C, so it knows nothing of
 * Tollgate. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define MAX_NAMES 400
#define VALUE_BYTES 255
#define MISSING "?"

static char *sections[MAX_NAMES], *entries[MAX_NAMES];
static int sectionCount, entryCount;

static void escape(const char* text)
{
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        if (*p < 0x20 || *p > 0x7e || *p == '\\' || *p == '\t')
            printf("\\x%02X", *p);
        else
            putchar(*p);
    }
}

static void addName(char** names, int* count, const char* start, size_t length)
{
    if (*count >= MAX_NAMES)
        return;
    char* name = malloc(length + 1);
    memcpy(name, start, length);
    name[length] = '\0';
    for (int i = 0; i < *count; ++i) {
        if (strcmp(names[i], name) == 0) {
            free(name);
            return;
        }
    }
    names[(*count)++] = name;
}

static int isBlank(char c)
{
    return c == ' ' || c == '\t';
}

/* Names as an administrator would ask for them: the text between brackets and before
 * "=", as written and without the blanks around it, and each whole line. */
static void addRawNames(const char* text, size_t size)
{
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && text[end] != '\r' && text[end] != '\n' && text[end] != '\0')
            ++end;
        const char* line = text + start;
        size_t length = end - start;
        size_t from = 0, to = length;
        while (from < to && isBlank(line[from]))
            ++from;
        while (to > from && isBlank(line[to - 1]))
            --to;
        if (to > from && line[from] == '[') {
            /* The name may end at the first "]" or the last. */
            for (size_t close = from + 1; close <= to; ++close) {
                if (close < to && line[close] != ']')
                    continue;
                addName(sections, &sectionCount, line + from + 1, close - from - 1);
                size_t a = from + 1, b = close;
                while (a < b && isBlank(line[a]))
                    ++a;
                while (b > a && isBlank(line[b - 1]))
                    --b;
                addName(sections, &sectionCount, line + a, b - a);
            }
        } else if (to > from) {
            addName(entries, &entryCount, line + from, to - from);
            const char* eq = memchr(line + from, '=', to - from);
            if (eq) {
                size_t b = (size_t)(eq - line);
                addName(entries, &entryCount, line, b);
                while (b > from && isBlank(line[b - 1]))
                    --b;
                addName(entries, &entryCount, line + from, b - from);
            }
        }
        start = end + 1;
    }
}

/* Each name also in upper and in lower case, as the system's code page has them. */
static void addCases(char **names, int *count)
{
    const int written = *count;
    for (int i = 0; i < written; ++i) {
        char *upper = _strdup(names[i]), *lower = _strdup(names[i]);
        CharUpperA(upper);
        CharLowerA(lower);
        addName(names, count, upper, strlen(upper));
        addName(names, count, lower, strlen(lower));
        free(upper);
        free(lower);
    }
}

/* A double-NUL-terminated list, as the enumerating calls give it. */
static void addList(char** names, int* count, const char* list)
{
    for (const char* p = list; *p; p += strlen(p) + 1)
        addName(names, count, p, strlen(p));
}

static void readOne(const char* path, const char* section, const char* entry, const char* fallback)
{
    char value[VALUE_BYTES];
    memset(value, 0, sizeof value);
    GetPrivateProfileStringA(section, entry, fallback, value, VALUE_BYTES, path);
    printf("read ");
    escape(section);
    putchar('\t');
    escape(entry);
    putchar('\t');
    escape(fallback);
    putchar('\t');
    escape(value);
    putchar('\n');
}

static void readFile(const char* path)
{
    static char list[65536];
    sectionCount = entryCount = 0;
    addName(sections, &sectionCount, "", 0);
    addName(sections, &sectionCount, "Windows", 7);
    addName(entries, &entryCount, "Count", 5);

    FILE* file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "profile-read: cannot open %s\n", path);
        exit(2);
    }
    static char text[1 << 20];
    size_t size = fread(text, 1, sizeof text, file);
    fclose(file);
    addRawNames(text, size);

    GetPrivateProfileSectionNamesA(list, sizeof list, path);
    addList(sections, &sectionCount, list);
    const int rawSections = sectionCount;
    for (int s = 0; s < rawSections; ++s) {
        memset(list, 0, sizeof list);
        GetPrivateProfileStringA(sections[s], NULL, "", list, sizeof list, path);
        addList(entries, &entryCount, list);
    }

    addCases(sections, &sectionCount);
    addCases(entries, &entryCount);
    const char* name = strrchr(path, '\\');
    printf("file %s\n", name ? name + 1 : path);
    for (int s = 0; s < sectionCount; ++s) {
        for (int e = 0; e < entryCount; ++e) {
            char value[VALUE_BYTES];
            readOne(path, sections[s], entries[e], MISSING);
            GetPrivateProfileStringA(sections[s], entries[e], MISSING, value, VALUE_BYTES, path);
            if (strcmp(value, MISSING) != 0)
                readOne(path, sections[s], "No such entry", value);
        }
    }
    for (int i = 0; i < sectionCount; ++i)
        free(sections[i]);
    for (int i = 0; i < entryCount; ++i)
        free(entries[i]);
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        /* The profile service looks for a bare name in the Windows folder. */
        char path[MAX_PATH];
        if (!GetFullPathNameA(argv[i], sizeof path, path, NULL))
            return 2;
        readFile(path);
    }
    return 0;
}
